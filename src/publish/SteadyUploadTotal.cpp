#include "publish/SteadyUploadTotal.h"

#include <cmath>

namespace tomely {

SteadyUploadTotal::Figures SteadyUploadTotal::shown(double fraction, std::int64_t queueTotal) {
    if (!total_) {
        total_ = queueTotal;
    }
    return {static_cast<std::int64_t>(std::llround(fraction * static_cast<double>(*total_))), *total_};
}

}  // namespace tomely
