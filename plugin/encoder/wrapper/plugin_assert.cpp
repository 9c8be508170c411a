#include "plugin/encoder/wrapper/plugin_assert.h"

#include <cstdio>
#include <cstdlib>

namespace IOPlugin::detail {

void AssertionFailed(const char* expression, const char* file, int line) noexcept {
    std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", expression, file, line);
    std::fflush(stderr);
    std::abort();
}

}  // namespace IOPlugin::detail
