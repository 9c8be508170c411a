#include "codec/parvolux_error.h"

#include <gtest/gtest.h>

namespace {

TEST(ParvoluxError, TextCarriesStatusItsNameAndWhere) {
    struct Case {
        int32_t status;
        const char* text;
    };
    const Case cases[] = {
        {-5, "Parvolux error (-5): bad size: where"},
        {-1, "Parvolux error (-1): failed: where"},
        {-7, "Parvolux error (-7): not initialized: where"},
        {-99, "Parvolux error (-99): unknown: where"},
        {3, "Parvolux error (3): unknown: where"},
        {INT32_MIN, "Parvolux error (-2147483648): unknown: where"},
    };
    for (const Case& c : cases) {
        const ParvoluxError error("where", c.status);
        EXPECT_STREQ(error.what(), c.text);
        EXPECT_EQ(error.status(), c.status);
    }
}

}  // namespace
