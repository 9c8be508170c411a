// Building blocks of the codec, tested on their own: code construction, the length table, bit
// I/O, prediction and the thread pool.
#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <random>
#include <thread>

#include "platform/parvolux_common64/bit_reader.h"
#include "platform/parvolux_common64/bit_writer.h"
#include "platform/parvolux_common64/code_length_table.h"
#include "platform/parvolux_common64/frame_geometry.h"
#include "platform/parvolux_common64/huffman_code.h"
#include "platform/parvolux_common64/huffman_decoder.h"
#include "platform/parvolux_common64/packet_format.h"
#include "platform/parvolux_common64/predictor.h"
#include "platform/parvolux_common64/thread_pool.h"

namespace parvolux {
namespace {

double kraftSum(const std::vector<uint8_t>& lengths) {
    double sum = 0;
    for (uint8_t l : lengths)
        if (l != 0) sum += std::ldexp(1.0, -l);
    return sum;
}

TEST(HuffmanLengths, AreOptimalCompleteAndLimited) {
    HuffmanBuilder builder;
    const struct {
        std::vector<uint32_t> counts;
        uint64_t bits;     // optimal total, 0 = not checked
        unsigned longest;  // the expected longest code
    } cases[] = {
        {{5, 0, 0, 0}, 5, 1},  // a lone symbol still takes one bit
        {{1, 1}, 2, 1},        {{10, 1, 1, 2}, 10 + 3 + 3 + 4, 3},  // 10:1, 2:2, 1:3, 1:3
        {{4, 4, 4, 4}, 32, 2}, {{45, 13, 12, 16, 9, 5}, 224, 4},    // the textbook example
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> lengths(c.counts.size());
        const uint64_t bits = builder.buildLengths(
            c.counts.data(), static_cast<uint32_t>(c.counts.size()), 24, lengths.data());
        EXPECT_EQ(bits, c.bits);
        EXPECT_EQ(*std::max_element(lengths.begin(), lengths.end()), c.longest);
        for (size_t s = 0; s < c.counts.size(); ++s) EXPECT_EQ(lengths[s] == 0, c.counts[s] == 0);
        if (std::count_if(c.counts.begin(), c.counts.end(), [](uint32_t v) { return v != 0; }) >
            1) {
            EXPECT_DOUBLE_EQ(kraftSum(lengths), 1.0);
        }
    }
    // Fibonacci counts drive an unlimited code to one more bit per symbol.
    std::vector<uint32_t> fib(40);
    fib[0] = fib[1] = 1;
    for (size_t i = 2; i < fib.size(); ++i) fib[i] = fib[i - 1] + fib[i - 2];
    for (unsigned limit : {24u, 12u, 6u}) {
        std::vector<uint8_t> lengths(fib.size());
        builder.buildLengths(fib.data(), static_cast<uint32_t>(fib.size()), limit, lengths.data());
        EXPECT_LE(*std::max_element(lengths.begin(), lengths.end()), limit);
        EXPECT_LE(kraftSum(lengths), 1.0);
    }
}

TEST(HuffmanCodes, DecodeBackThroughTheTableAndTheLongPath) {
    std::mt19937 rng(7);
    for (uint32_t alphabet : {2u, 258u, 1026u, 16386u}) {
        SCOPED_TRACE(alphabet);
        // Geometric-ish counts give both short codes (fast table) and long ones (slow path).
        std::vector<uint32_t> counts(alphabet);
        for (uint32_t s = 0; s < alphabet; ++s)
            counts[s] = s % 3 == 1 ? 0 : 1 + (1u << 20 >> std::min(s, 20u));
        std::vector<uint8_t> lengths(alphabet);
        HuffmanBuilder builder;
        builder.buildLengths(counts.data(), alphabet, kMaxCodeLength, lengths.data());
        std::vector<uint32_t> codes(alphabet);
        buildCodes(lengths.data(), alphabet, codes.data());
        HuffmanDecoder decoder;
        ASSERT_TRUE(decoder.init(lengths.data(), alphabet));

        std::vector<uint32_t> symbols;
        for (uint32_t s = 0; s < alphabet; ++s)
            if (counts[s] != 0) symbols.push_back(s);
        std::shuffle(symbols.begin(), symbols.end(), rng);
        std::vector<uint8_t> buffer(symbols.size() * 4 + 16);
        BitWriter writer(buffer.data());
        for (uint32_t s : symbols) {
            writer.put(codes[s] >> 8, codes[s] & 255);
            writer.flush();
        }
        const size_t size = static_cast<size_t>(writer.finish() - buffer.data());
        BitReader reader(buffer.data(), size);
        for (uint32_t s : symbols) {
            unsigned length = 0;
            ASSERT_EQ(decoder.decode(reader.peek(), length), s);
            EXPECT_EQ(length, lengths[s]);
            reader.skip(length);
        }
        EXPECT_FALSE(reader.overrun());
    }
}

TEST(HuffmanDecoderInit, RefusesImpossibleCodes) {
    HuffmanDecoder decoder;
    const std::vector<std::vector<uint8_t>> bad = {
        {1, 1, 1},        // over-subscribed
        {0, 0, 0},        // nothing used
        {2, 2, 2, 2, 1},  // over-subscribed
        {25, 1},          // longer than allowed
    };
    for (const auto& lengths : bad)
        EXPECT_FALSE(decoder.init(lengths.data(), static_cast<uint32_t>(lengths.size())));
    const std::vector<uint8_t> incomplete = {2, 2, 0, 2};
    ASSERT_TRUE(decoder.init(incomplete.data(), 4));
    unsigned length = 0;
    EXPECT_EQ(decoder.decode(0b11, length), HuffmanDecoder::kInvalid) << "the unused code 11";
}

TEST(CodeLengthTable, RoundTripsAndRejectsMalformedTables) {
    std::vector<uint8_t> lengths(1026);
    for (size_t i = 0; i < lengths.size(); ++i)
        lengths[i] = static_cast<uint8_t>(i < 3 ? 2 : i < 500 ? 11 : (i % 7 == 0 ? 0 : 24));
    std::vector<uint8_t> table(codeLengthTableSize(lengths.data(), 1026) + 4);
    const size_t size = writeCodeLengths(lengths.data(), 1026, table.data());
    EXPECT_EQ(size, codeLengthTableSize(lengths.data(), 1026));
    EXPECT_LT(size, 300u);
    std::vector<uint8_t> back(1026);
    EXPECT_EQ(readCodeLengths(table.data(), size, 1026, 24, back.data()), size);
    EXPECT_EQ(back, lengths);
    for (size_t cut = 0; cut < size; ++cut)
        EXPECT_EQ(readCodeLengths(table.data(), cut, 1026, 24, back.data()), 0u);
    EXPECT_EQ(readCodeLengths(table.data(), size, 1026, 23, back.data()), 0u)
        << "a length over the limit";
    EXPECT_EQ(readCodeLengths(table.data(), size, 1000, 24, back.data()), 0u)
        << "runs past the alphabet";
    const uint8_t endless[] = {0xE0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01};
    EXPECT_EQ(readCodeLengths(endless, sizeof endless, 1026, 24, back.data()), 0u);
}

TEST(BitIo, ReadsBackWhatWasWrittenAndZerosPastTheEnd) {
    std::mt19937 rng(3);
    std::vector<std::pair<uint32_t, unsigned>> fields;
    for (int i = 0; i < 1000; ++i) {
        const unsigned n = 1 + rng() % 24;
        fields.emplace_back(rng() & ((1u << n) - 1), n);
    }
    std::vector<uint8_t> buffer(4000);
    BitWriter writer(buffer.data());
    size_t bits = 0;
    for (const auto& [v, n] : fields) {
        writer.put(v, n);
        writer.flush();
        bits += n;
    }
    const size_t size = static_cast<size_t>(writer.finish() - buffer.data());
    EXPECT_EQ(size, (bits + 7) / 8);
    BitReader reader(buffer.data(), size);
    for (const auto& [v, n] : fields) {
        ASSERT_EQ(reader.peek() & ((1u << n) - 1), v);
        reader.skip(n);
    }
    EXPECT_FALSE(reader.overrun());
    EXPECT_EQ(reader.peek() >> (8 - bits % 8) % 8, 0u) << "zeros past the end";
    reader.skip(8);
    EXPECT_TRUE(reader.overrun());
}

template <class S>
void checkPredictors(unsigned bits) {
    const S mask = static_cast<S>((1u << bits) - 1);
    std::mt19937 rng(bits);
    const uint32_t w = 67;
    std::vector<S> above(w), cur(w), res(w), back(w);
    for (int trial = 0; trial < 50; ++trial) {
        for (uint32_t i = 0; i < w; ++i) {
            // Extremes included, where wrapping arithmetic matters.
            above[i] = static_cast<S>(trial % 5 == 0 ? (rng() % 2) * mask : rng() & mask);
            cur[i] = static_cast<S>(trial % 7 == 0 ? (rng() % 2) * mask : rng() & mask);
        }
        for (unsigned p = 0; p < kPredictorCount; ++p) {
            for (const S* a :
                 {static_cast<const S*>(nullptr), static_cast<const S*>(above.data())}) {
                predictRow(static_cast<Predictor>(p), cur.data(), a, w, mask, res.data());
                for (S r : res) ASSERT_LE(r, mask);
                unpredictRow(static_cast<Predictor>(p), res.data(), a, w, mask, back.data());
                ASSERT_EQ(back, cur) << "predictor " << p << " bits " << bits;
            }
        }
    }
    // Gradient predicts a plane ramp exactly; median follows a vertical edge exactly.
    for (uint32_t i = 0; i < w; ++i) {
        above[i] = static_cast<S>(i);
        cur[i] = static_cast<S>(i + 1);
    }
    predictRow(Predictor::Gradient, cur.data(), above.data(), w, mask, res.data());
    EXPECT_TRUE(std::all_of(res.begin() + 1, res.end(), [](S r) { return r == 0; }));
    for (uint32_t i = 0; i < w; ++i) above[i] = cur[i] = static_cast<S>(i < w / 2 ? 3 : mask - 3);
    predictRow(Predictor::Median, cur.data(), above.data(), w, mask, res.data());
    EXPECT_TRUE(std::all_of(res.begin(), res.end(), [](S r) { return r == 0; }));
}

TEST(Predictors, InvertExactlyAtEveryDepth) {
    checkPredictors<uint8_t>(8);
    for (unsigned bits : {10u, 12u, 14u}) checkPredictors<uint16_t>(bits);
}

TEST(StreamGeometryTest, SlicesCoverEveryRowOnce) {
    for (const StreamFormat& format : streamFormats()) {
        for (uint32_t h : {1u, 2u, 3u, 17u, 1080u, 2161u}) {
            StreamGeometry g;
            ASSERT_TRUE(makeStreamGeometry(format, 1920, h, 0, g));
            for (unsigned p = 0; p < g.planes; ++p) {
                uint32_t rows = 0;
                for (uint32_t s = 0; s < g.sliceCount; ++s) {
                    EXPECT_GE(g.sliceRows(p, s), 1u);
                    EXPECT_EQ(g.planeRow(p, g.sliceGroup(s)), rows);
                    rows += g.sliceRows(p, s);
                }
                EXPECT_EQ(rows, g.planeHeight[p]) << format.fourcc << " h " << h;
            }
        }
    }
    StreamGeometry g;
    EXPECT_TRUE(makeStreamGeometry(streamFormats()[0], 1920, 1080, 0, g));
    EXPECT_GE(g.sliceCount, 4u) << "enough slices to share among cores";
    EXPECT_FALSE(makeStreamGeometry(streamFormats()[0], 1920, 8, 9, g)) << "more slices than rows";
}

TEST(ThreadPoolTest, RunsEveryIndexOnceFromConcurrentCallers) {
    ThreadPool pool(3);
    std::vector<std::thread> callers;
    std::atomic<int> failures{0};
    for (int c = 0; c < 4; ++c)
        callers.emplace_back([&] {
            for (int round = 0; round < 50; ++round) {
                std::vector<std::atomic<int>> hits(37);
                std::atomic<unsigned> maxSlot{0};
                pool.parallelFor(37, 3, [&](uint32_t i, unsigned slot) {
                    hits[i].fetch_add(1);
                    unsigned seen = maxSlot.load();
                    while (slot > seen && !maxSlot.compare_exchange_weak(seen, slot)) {
                    }
                });
                for (auto& h : hits) failures += h.load() != 1;
                failures += maxSlot.load() >= 3;  // slots stay below the thread count
            }
        });
    for (auto& t : callers) t.join();
    EXPECT_EQ(failures.load(), 0);
    int ran = 0;
    pool.parallelFor(5, 1, [&](uint32_t, unsigned slot) { ran += slot == 0; });
    EXPECT_EQ(ran, 5) << "one thread runs everything on the caller";
}

}  // namespace
}  // namespace parvolux
