#include "session/SessionStage.h"

namespace tomely {

const char* stageName(SessionStage stage) {
    switch (stage) {
        case SessionStage::SigningIn:
            return "signing-in";
        case SessionStage::Opening:
            return "opening";
        case SessionStage::Listing:
            return "listing";
        case SessionStage::Splitting:
            return "splitting";
        case SessionStage::Fingerprinting:
            return "fingerprinting";
        case SessionStage::Comparing:
            return "comparing";
        case SessionStage::Compressing:
            return "compressing";
        case SessionStage::Uploading:
            return "uploading";
    }
    return "";
}

}  // namespace tomely
