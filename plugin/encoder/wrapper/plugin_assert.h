// Broken host contracts and internal invariants. They stay active in every build: the plug-in
// does not try to go on after one, and the message names the expression and the source file.
#pragma once

namespace IOPlugin::detail {
[[noreturn]] void AssertionFailed(const char* expression, const char* file, int line) noexcept;
}  // namespace IOPlugin::detail

// `file` is the source file without extension, as it is quoted in the message.
#define PARVOLUX_ASSERT(expr, file)                                              \
    do {                                                                         \
        if (!(expr)) ::IOPlugin::detail::AssertionFailed(#expr, file, __LINE__); \
    } while (false)
