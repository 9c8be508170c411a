#include "platform/parvolux_common64/common/status.h"

namespace parvolux {

const char* statusName(int32_t status) {
    switch (status) {
        case kOk:
            return "ok";
        case kFailed:
            return "failed";
        case kBadHandle:
            return "bad handle";
        case kBadArgument:
            return "bad argument";
        case kUnsupportedFormat:
            return "unsupported format";
        case kBadSize:
            return "bad size";
        case kOutOfMemory:
            return "out of memory";
        case kNotInitialized:
            return "not initialized";
        default:
            return "unknown";
    }
}

}  // namespace parvolux
