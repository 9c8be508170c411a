// The library side of the test controls: what each exported call consults and reports.
#ifndef PARVOLUX_COMMON64_API_CONTROL_STATE_H
#define PARVOLUX_COMMON64_API_CONTROL_STATE_H

#include <cstdint>

#include "platform/parvolux_common64/format/predictor.h"
#include "platform/parvolux_common64/parvolux_test_controls.h"

namespace parvolux::controls {

// Counts the call; answers the injected status, or 0 when the call should go ahead.
[[nodiscard]] int32_t enter(ParvoluxFunction fn);
bool refused(uint32_t code);
void noteInput(const void* plane0);
void instanceOpened();
void instanceClosed();
unsigned threads();  // resolved: never 0
Predictor predictor();

}  // namespace parvolux::controls

#endif
