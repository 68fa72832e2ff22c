#include "steps/SessionFailureAlert.h"

#include "app/ACFailure.h"

namespace tomely {

Alert sessionFailureAlert(const SessionFailure& failure) {
    if (const auto* local = std::get_if<Error>(&failure.cause)) {
        return failure.stage == SessionStage::Opening ? ACFailure::unzipFailureAlert(*local)
                                                      : ACFailure::bookPreparationFailureAlert(*local);
    }
    if (failure.stage == SessionStage::Uploading) {
        return ACFailure::httpUploadBookFailureAlert();
    }
    const auto& call = std::get<CallFailure>(failure.cause);
    return ACFailure::httpFailureAlert(call.statusCode, call.url);
}

}  // namespace tomely
