// Status codes the library answers, and their names (category 2 of parvolux_get_string).
#ifndef PARVOLUX_COMMON64_COMMON_STATUS_H
#define PARVOLUX_COMMON64_COMMON_STATUS_H

#include <cstdint>

namespace parvolux {

enum Status : int32_t {
    kOk = 0,
    kFailed = -1,
    kBadHandle = -2,
    kBadArgument = -3,
    kUnsupportedFormat = -4,
    kBadSize = -5,
    kOutOfMemory = -6,
    kNotInitialized = -7,
};

// "unknown" for a code that is not a status.
const char* statusName(int32_t status);

}  // namespace parvolux

#endif
