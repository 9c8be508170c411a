/*
 * Test controls of the codec library stand-in: fault injection and accounting for the tests of
 * its callers, and the thread count for benchmarks. Every control is thread-safe; encoders run
 * on several threads at once. parvolux_test_reset puts everything back to normal.
 *
 * An injected failure answers its status at once, before the call looks at its arguments, and
 * the call does nothing else: a failed parvolux_open leaves the handle at 0, a failed
 * parvolux_close keeps the instance open. Calls are counted whether they fail or not.
 */
#ifndef PARVOLUX_COMMON64_PARVOLUX_TEST_CONTROLS_H
#define PARVOLUX_COMMON64_PARVOLUX_TEST_CONTROLS_H

#include <stdint.h>

#include "codec/parvolux_library.h"

#ifdef __cplusplus
extern "C" {
#endif

enum ParvoluxFunction {
    parvoluxFnLibraryInit,
    parvoluxFnOpen,
    parvoluxFnClose,
    parvoluxFnLibraryClose,
    parvoluxFnCompressQuery,
    parvoluxFnCompressBegin,
    parvoluxFnInitPlanesCommon,
    parvoluxFnCompress,
    parvoluxFnCount
};

/* All controls off, call counters zeroed, thread count back to the default. Open instances and
 * the library's init count are real state and stay as they are. */
PARVOLUX_COMMON64_API void parvolux_test_reset(void);
/* parvolux_compress_query answers -4 when its input or output uses this format code (in the
 * short or the extended form). Several codes may be refused at once. */
PARVOLUX_COMMON64_API void parvolux_test_refuse_format(uint32_t code);
/* The next `times` calls of fn answer status; times -1 means every call until reset, 0 stops. */
PARVOLUX_COMMON64_API void parvolux_test_fail(int fn, int32_t status, int32_t times);
/* Only the n-th call of fn from now on (1-based) answers status. */
PARVOLUX_COMMON64_API void parvolux_test_fail_nth(int fn, int32_t status, uint32_t n);
/* Calls of fn since the last reset. */
PARVOLUX_COMMON64_API uint32_t parvolux_test_call_count(int fn);
/* Open instances: successful opens minus successful closes. */
PARVOLUX_COMMON64_API int32_t parvolux_test_live_instances(void);
/* The plane-0 data pointer of the last parvolux_compress call, null before any. */
PARVOLUX_COMMON64_API const void* parvolux_test_last_input(void);
/* Threads that encode or decode the slices of one frame; 0 = the default, one per hardware
 * thread. */
PARVOLUX_COMMON64_API void parvolux_test_set_threads(uint32_t threads);
PARVOLUX_COMMON64_API uint32_t parvolux_test_threads(void);
/* The spatial predictor of streams begun from now on: 0 left, 1 gradient, 2 median (the
 * default). For measurements; answers -3 for another value. */
PARVOLUX_COMMON64_API int32_t parvolux_test_set_predictor(uint32_t predictor);

#ifdef __cplusplus
}
#endif

#endif /* PARVOLUX_COMMON64_PARVOLUX_TEST_CONTROLS_H */
