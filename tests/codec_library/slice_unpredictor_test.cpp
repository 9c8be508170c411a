// The decoder's inverse prediction against the plain one-sample-after-another loops it replaces,
// over the widths and row counts where its vector paths change: lane groups cut short, tiles at
// both ends of a row, narrow planes left scalar, flat areas skipped. The room it may touch
// around the rows (kUnpredictReach) must come back unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "platform/parvolux_common64/decoder/slice_unpredictor.h"

namespace {

using namespace parvolux;

// What predictor.h says, row by row.
std::vector<uint32_t> reference(Predictor predictor, std::vector<uint32_t> v, uint32_t w,
                                uint32_t rows, unsigned bits) {
    const uint32_t mask = (1u << bits) - 1;
    for (uint32_t r = 0; r < rows; ++r) {
        uint32_t* cur = v.data() + size_t{r} * w;
        const uint32_t* up = r == 0 ? nullptr : cur - w;
        cur[0] = (cur[0] + (up ? up[0] : mask / 2 + 1)) & mask;
        for (uint32_t i = 1; i < w; ++i) {
            const uint32_t l = cur[i - 1];
            uint32_t p = l;
            if (up && predictor != Predictor::Left) {
                const uint32_t g = (l + up[i] - up[i - 1]) & mask;
                p = predictor == Predictor::Gradient
                        ? g
                        : std::max(std::min(l, up[i]), std::min(std::max(l, up[i]), g));
            }
            cur[i] = (cur[i] + p) & mask;
        }
    }
    return v;
}

template <class S>
void expectSameAsReference(Predictor predictor, uint32_t w, uint32_t rows, unsigned bits,
                           const std::vector<uint32_t>& residuals) {
    constexpr size_t reach = kUnpredictReach;
    constexpr S kGuard = 0x5A;
    // [reach][rows][2 reach][reach][spare][2 reach]
    std::vector<S> buffer(reach + residuals.size() + 3 * reach + w + 2 * reach, kGuard);
    std::copy(residuals.begin(), residuals.end(), buffer.begin() + reach);
    S* spare = buffer.data() + reach + residuals.size() + 3 * reach;
    unpredictSlice<S>(predictor, buffer.data() + reach, w, rows, bits, spare);
    const std::vector<uint32_t> want = reference(predictor, residuals, w, rows, bits);
    for (size_t i = 0; i < want.size(); ++i)
        ASSERT_EQ(buffer[reach + i], want[i]) << "row " << i / w << " column " << i % w;
    for (size_t i = 0; i < reach; ++i) ASSERT_EQ(buffer[i], kGuard) << "before, " << i;
    for (size_t i = 0; i < 2 * reach; ++i)
        ASSERT_EQ(buffer[reach + want.size() + i], kGuard) << "after, " << i;
}

TEST(SliceUnpredictor, MatchesTheSequentialLoops) {
    std::mt19937 rng(5);
    const uint32_t widths[] = {1, 2, 9, 16, 17, 32, 33, 34, 35, 47, 48, 49, 100, 257};
    const uint32_t rowCounts[] = {1, 2, 3, 9, 17, 18, 40};
    for (unsigned bits : {8u, 10u, 14u})
        for (Predictor predictor : {Predictor::Left, Predictor::Gradient, Predictor::Median})
            for (uint32_t w : widths)
                for (uint32_t rows : rowCounts)
                    for (int content = 0; content < 3; ++content) {
                        SCOPED_TRACE(testing::Message()
                                     << "bits " << bits << " predictor " << int(predictor) << " "
                                     << w << "x" << rows << " content " << content);
                        // Noise; all zero (one flat value); zero but for a few samples.
                        std::vector<uint32_t> res(size_t{w} * rows, 0);
                        for (auto& r : res)
                            if (content == 0 || (content == 2 && rng() % 97 == 0))
                                r = rng() & ((1u << bits) - 1);
                        if (bits == 8)
                            expectSameAsReference<uint8_t>(predictor, w, rows, bits, res);
                        else
                            expectSameAsReference<uint16_t>(predictor, w, rows, bits, res);
                    }
}

}  // namespace
