// Lets the compiler check every printf-style call. MinGW's runtime is told to use the C99
// formatting rules, which GCC names gnu_printf there.
#pragma once

#if defined(__MINGW32__) && !defined(__clang__)
#define PARVOLUX_PRINTF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define PARVOLUX_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#endif
