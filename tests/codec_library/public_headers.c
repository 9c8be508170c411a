/* The library's public headers compile as C on their own, as a C caller would include them. */
#include "platform/parvolux_common64/parvolux_decoder.h"
#include "platform/parvolux_common64/parvolux_test_controls.h"

int parvolux_public_headers_compile_as_c(void) {
    ParvoluxOutputLayout layout;
    ParvoluxPictureInfo picture;
    layout.planeCount = 0;
    picture.range = parvoluxRangeFull;
    return (int)layout.planeCount + (int)parvoluxFnCount + (int)picture.range;
}
