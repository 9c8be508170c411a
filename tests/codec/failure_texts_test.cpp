// The texts of failing library calls are checked where the plug-in reports them (the encoder's and
// registration's tests, which also count the library's openings and closings); what no call can
// reach (names the library does not know, the largest values, null arguments) is rendered here.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>

#include "codec/frame_format_text.h"
#include "codec/parvolux_error.h"

namespace {

using Failure = std::pair<std::string, int32_t>;

// The text and status of the ParvoluxError that `call` throws.
template <class Fn>
Failure FailureOf(Fn call) {
    try {
        call();
    } catch (const ParvoluxError& e) {
        return {e.what(), e.status()};
    }
    return {"no failure", 0};
}

TEST(FailureTexts, RenderWhatNoLibraryCallReaches) {
    const FrameFormat unknown = {3, 5, 77, 0, 0, 0, 0, 0, 0};
    const FrameFormat widest = {4294967295u, 7, 254, 3, 59, 4, 9, 2, 2};
    std::ostringstream os;
    FrameFormatText::format(os, &unknown);
    FrameFormatText::format(os, &widest);
    FrameFormatText::address(os, reinterpret_cast<const void*>(uintptr_t{0x7ffde0c1f00d}));
    FrameFormatText::format(os, nullptr);
    FrameFormatText::bufferSize(os, nullptr);
    FrameFormatText::planes(os, nullptr);
    EXPECT_EQ(os.str(),
              "{3,5,unknown(77)}{{4294967295,7,extended(254)},3,YUV422P16(59),4,unknown(9),2,2}"
              "0x00007FFDE0C1F00Dnullnullnull");
    for (const int32_t status : {-99, 3, INT32_MIN}) {
        EXPECT_EQ(
            FailureOf([&] { throw ParvoluxError("where", status); }),
            Failure("Parvolux error (" + std::to_string(status) + "): unknown: where", status));
    }
}

}  // namespace
