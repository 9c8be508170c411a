// The table-driven chunk decoder against a reader that follows the packet format one bit at a
// time, as the decoder did before it used tables: on chunks the encoder writes it gives back the
// residuals; on damaged ones it accepts exactly the chunks the bit reader accepts, with the same
// residuals, and refuses the rest. Distributions cover every chunk mode, zero blocks, codes longer
// than a probe (up to the 24-bit limit) and the 8-, 12- and 24-bit entry lanes.
//
// Then the decoder's inverse prediction against the plain one-sample-after-another loops it
// replaces, over the widths and row counts where its vector paths change: lane groups cut short,
// tiles at both ends of a row, narrow planes left scalar, flat areas skipped. The room it may touch
// around the rows (kUnpredictReach) must come back unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "platform/parvolux_common64/common/instruction_sets.h"
#include "platform/parvolux_common64/common/status.h"
#include "platform/parvolux_common64/common/thread_pool.h"
#include "platform/parvolux_common64/decoder/chunk_decoder.h"
#include "platform/parvolux_common64/decoder/frame_decoder.h"
#include "platform/parvolux_common64/decoder/median_wide.h"
#include "platform/parvolux_common64/decoder/slice_unpredictor.h"
#include "platform/parvolux_common64/encoder/chunk_encoder.h"
#include "platform/parvolux_common64/entropy/bit_writer.h"
#include "platform/parvolux_common64/entropy/code_length_table.h"
#include "platform/parvolux_common64/entropy/huffman_code.h"
#include "platform/parvolux_common64/format/format_catalog.h"
#include "platform/parvolux_common64/format/frame_geometry.h"
#include "platform/parvolux_common64/format/packet_format.h"

namespace {

using namespace parvolux;

struct BitByBit {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    unsigned bit() {
        const unsigned b = pos / 8 < size ? (data[pos / 8] >> (pos % 8)) & 1 : 0;
        ++pos;
        return b;
    }
};

// The format as packet_format.h tells it, with canonical codes read a bit at a time.
bool referenceDecode(const std::vector<uint8_t>& chunk, size_t n, unsigned bits,
                     std::vector<uint32_t>& res) {
    res.assign(n, 0);
    if (chunk.empty() || n == 0 || (chunk[0] >> 4) >= kPredictorCount) return false;
    const uint32_t mask = (1u << bits) - 1;
    const unsigned mode = chunk[0] & 15;
    if (mode == 0) {
        const uint32_t value = chunk.size() == 3 ? chunk[1] | uint32_t{chunk[2]} << 8 : ~0u;
        if (value > mask) return false;
        res[0] = (value - (mask / 2 + 1)) & mask;
        return true;
    }
    if (mode == 1) {
        if (chunk.size() - 1 != (n * bits + 7) / 8) return false;
        BitByBit in{chunk.data() + 1, chunk.size() - 1};
        for (auto& r : res)
            for (unsigned b = 0; b < bits; ++b) r |= in.bit() << b;
        return true;
    }
    if (mode != 2) return false;
    const uint32_t alphabet = alphabetSize(bits);
    std::vector<uint8_t> lengths(alphabet);
    const size_t table = readCodeLengths(chunk.data() + 1, chunk.size() - 1, alphabet,
                                         kMaxCodeLength, lengths.data());
    if (table == 0) return false;
    uint32_t count[32] = {}, first[32] = {}, offset[32] = {};
    uint64_t kraft = 0;
    for (uint8_t len : lengths)
        if (len != 0) ++count[len], kraft += uint64_t{1} << (24 - len);
    if (kraft == 0 || kraft > (uint64_t{1} << 24)) return false;
    std::vector<uint32_t> sorted;
    for (unsigned len = 1; len < 32; ++len) {
        first[len] = (first[len - 1] + count[len - 1]) << 1;
        offset[len] = static_cast<uint32_t>(sorted.size());
        for (uint32_t s = 0; s < alphabet; ++s)
            if (lengths[s] == len) sorted.push_back(s);
    }
    const size_t payload = chunk.size() - 1 - table;
    BitByBit in{chunk.data() + 1 + table, payload};
    for (size_t i = 0; i < n;) {
        uint32_t code = 0, symbol = alphabet;
        for (unsigned len = 1; len <= 24 && symbol == alphabet; ++len) {
            code = code << 1 | in.bit();
            if (code - first[len] < count[len]) symbol = sorted[offset[len] + code - first[len]];
        }
        if (symbol == alphabet || in.pos > payload * 8) return false;
        if (symbol < zeroBlock8Symbol(bits)) {
            res[i++] = symbol;
            continue;
        }
        const size_t block = symbol == zeroBlock64Symbol(bits) ? 64 : 8;
        if (i % block != 0 || n - i < block) return false;
        i += block;
    }
    return (in.pos + 7) / 8 == payload;
}

// A chunk and how many residuals it codes.
struct Coded {
    std::vector<uint8_t> chunk;
    size_t n;
};

// Calls f with a sample of the type that holds `bits`-bit residuals.
template <class F>
auto withSample(unsigned bits, F f) {
    return bits == 8 ? f(uint8_t{}) : f(uint16_t{});
}

// Decodes coded[0] together with the others; res is the first's residuals. With `slack`, each
// chunk is followed by as many bytes of noise that the decoder may read, as the next chunks of
// a packet are.
bool tableDecode(ChunkDecoder& decoder, const std::vector<Coded>& coded, unsigned bits,
                 std::vector<uint32_t>& res, size_t slack = 0) {
    return withSample(bits, [&]<class S>(S) {
        // Exact sizes, so that AddressSanitizer sees a read or write past the end, and not
        // zeros, so that a residual left unwritten shows.
        std::vector<std::vector<S>> out;
        std::vector<std::vector<uint8_t>> in;
        std::vector<ChunkJob<S>> jobs;
        std::mt19937 noise(5);
        for (const Coded& c : coded) {
            out.emplace_back(c.n, S{0x5A});
            in.push_back(c.chunk);
            for (size_t k = 0; k < slack; ++k) in.back().push_back(static_cast<uint8_t>(noise()));
            jobs.push_back({in.back().data(), c.chunk.size(), c.n, out.back().data(), {}, slack});
        }
        const bool ok = decoder.decode(jobs.data(), static_cast<unsigned>(jobs.size()), bits);
        res.assign(out[0].begin(), out[0].end());
        return ok;
    });
}

std::vector<uint8_t> encode(const std::vector<uint32_t>& residuals, unsigned bits) {
    return withSample(bits, [&]<class S>(S) {
        const std::vector<S> res(residuals.begin(), residuals.end());
        ChunkEncoder encoder;
        encoder.reserve(bits);
        std::vector<uint8_t> out(3 + (res.size() * bits + 7) / 8 + 8);
        out.resize(encoder.encode(res.data(), res.size(), bits, Predictor::Median, out.data()));
        return out;
    });
}

enum class Shape { Laplace, ZeroRuns, SparseZeroRuns, Skewed, Uniform, Flat };

// Residuals as prediction leaves them: small values either side of zero, wrapped to `bits`.
std::vector<uint32_t> makeResiduals(Shape shape, size_t n, unsigned bits, double scale,
                                    std::mt19937& rng) {
    const uint32_t mask = (1u << bits) - 1;
    std::vector<uint32_t> res(n);
    std::exponential_distribution<double> magnitude(1.0 / scale);
    for (size_t i = 0; i < n; ++i) {
        const auto v = static_cast<int64_t>(std::lround(magnitude(rng)));
        res[i] = static_cast<uint32_t>(rng() & 1 ? v : -v) & mask;
        if (shape == Shape::Uniform) res[i] = rng() & mask;
        if (shape == Shape::ZeroRuns && (i / 97) % 3 != 0) res[i] = 0;
        // Rare enough that zero blocks get long codes, and residuals are not zeroed first.
        if (shape == Shape::SparseZeroRuns && (i / 97) % 50 == 0) res[i] = 0;
    }
    if (shape == Shape::Flat) std::fill(res.begin() + 1, res.end(), 0u);
    if (shape == Shape::Skewed) {
        // Symbol s about 1.6^-s as often: a code one bit longer per symbol, cut at 24 bits.
        std::geometric_distribution<uint32_t> depth(0.38);
        for (auto& r : res) r = std::min(depth(rng), mask);
    }
    return res;
}

struct Case {
    Shape shape;
    unsigned bits;
    double scale;
    size_t n;
};

const Case kCases[] = {
    {Shape::Laplace, 8, 3, 70001},        {Shape::Laplace, 8, 0.3, 4099},
    {Shape::ZeroRuns, 8, 4, 30000},       {Shape::Skewed, 8, 1, 200003},
    {Shape::Uniform, 8, 1, 999},          {Shape::Flat, 8, 1, 640},
    {Shape::Laplace, 10, 20, 65536},      {Shape::ZeroRuns, 10, 40, 9000},
    {Shape::Skewed, 10, 1, 120000},       {Shape::Laplace, 12, 60, 20000},
    {Shape::Laplace, 14, 300, 50000},     {Shape::Uniform, 14, 1, 333},
    {Shape::SparseZeroRuns, 8, 9, 60000}, {Shape::SparseZeroRuns, 10, 30, 40000},
    {Shape::Laplace, 8, 2, 17},           {Shape::ZeroRuns, 10, 3, 130},
};

// The chunk decoder's tests run its loops both ways: built for BMI1 and BMI2 where the processor
// has them, and for any processor.
class ChunkDecoderWays : public testing::TestWithParam<bool> {
protected:
    void SetUp() override { allow(InstructionSet::Bmi, GetParam()); }
    void TearDown() override { allow(InstructionSet::Bmi, true); }
};
INSTANTIATE_TEST_SUITE_P(BitOps, ChunkDecoderWays, testing::Bool());

// What the encoder writes comes back; every kind of damage the bit reader refuses is refused, and
// what it takes is taken alike, whatever bytes follow the chunk. Each chunk is decoded alone and in
// lockstep with good chunks of other sizes (the last case's of as many bits): it gives the same
// answer, and theirs come back only when it is good too.
TEST_P(ChunkDecoderWays, DecodesWhatTheEncoderWritesAndRefusesWhatTheBitReaderRefuses) {
    std::mt19937 rng(11);
    ChunkDecoder decoder;
    size_t refused = 0, taken = 0;
    std::map<unsigned, std::pair<Coded, std::vector<uint32_t>>> last;
    for (const Case& c : kCases) {
        decoder.reserve(c.bits);
        const std::vector<uint32_t> residuals = makeResiduals(c.shape, c.n, c.bits, c.scale, rng);
        const std::vector<uint8_t> chunk = encode(residuals, c.bits);
        std::vector<uint32_t> decoded;
        ASSERT_TRUE(tableDecode(decoder, {{chunk, c.n}}, c.bits, decoded));
        EXPECT_EQ(decoded, residuals) << "shape " << int(c.shape) << " bits " << c.bits;
        std::vector<std::vector<uint8_t>> damaged = {
            {chunk.begin(), chunk.end() - 1}, {chunk.begin(), chunk.begin() + chunk.size() / 2}};
        damaged.push_back(chunk);
        damaged.back().push_back(0);
        for (int k = 0; k < 24; ++k) {
            std::vector<uint8_t> d = chunk;
            const size_t at = k < 12 ? rng() % std::min<size_t>(d.size(), 40) : rng() % d.size();
            d[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
            if (k % 3 == 0) d[rng() % d.size()] = static_cast<uint8_t>(rng());
            damaged.push_back(std::move(d));
        }
        damaged.push_back(chunk);
        for (size_t k = 0; k < damaged.size(); ++k) {
            SCOPED_TRACE(testing::Message()
                         << "shape " << int(c.shape) << " bits " << c.bits << " damage " << k);
            std::vector<uint32_t> expected, actual;
            const bool want = referenceDecode(damaged[k], c.n, c.bits, expected);
            ASSERT_EQ(tableDecode(decoder, {{damaged[k], c.n}}, c.bits, actual), want);
            EXPECT_TRUE(!want || actual == expected);
            ASSERT_EQ(tableDecode(decoder, {{damaged[k], c.n}}, c.bits, actual, 1 + k % 17), want);
            EXPECT_TRUE(!want || actual == expected);
            ++(want ? taken : refused);
            if (last.count(c.bits) == 0) continue;
            const auto& [partner, partnerResiduals] = last[c.bits];
            std::vector<Coded> group(1 + k % ChunkDecoder::kMostJobs, partner);
            group[0] = {damaged[k], c.n};
            ASSERT_EQ(tableDecode(decoder, group, c.bits, actual), want) << group.size();
            EXPECT_TRUE(!want || actual == expected);
            std::swap(group[0], group.back());
            EXPECT_EQ(tableDecode(decoder, group, c.bits, actual), want);
            EXPECT_TRUE(!want || group.size() == 1 || actual == partnerResiduals);
        }
        last[c.bits] = {{chunk, c.n}, residuals};
    }
    EXPECT_GT(refused, 100u);
    EXPECT_GT(taken, 10u) << "flips inside the codes that still decode";
}

// A round's first three probes each fill the 12-bit window with one code, leaving 20 bits of the
// refill's count, and a 23-bit code follows: the decoder must refill before taking it.
// Counts that grow like Fibonacci's (odd, since the code builder makes every count odd) make
// the deepest code: residual s (1 to 24) gets an s-bit code, 23 and 24 the longest.
TEST_P(ChunkDecoderWays, TakesALongCodeAfterThreeFullProbes) {
    std::vector<uint32_t> residuals = {12, 12, 12, 23};
    uint32_t count = 1, next = 1;
    for (uint32_t s = 24; s >= 1; --s, next += std::exchange(count, next) + 1)
        residuals.insert(residuals.end(), count - (s == 12 ? 3 : s == 23 ? 1 : 0), s);
    std::mt19937 rng(3);
    std::shuffle(residuals.begin() + 4, residuals.end(), rng);
    const std::vector<uint8_t> chunk = encode(residuals, 8);
    std::vector<uint8_t> lengths(alphabetSize(8));
    ASSERT_NE(readCodeLengths(chunk.data() + 1, chunk.size() - 1, alphabetSize(8), kMaxCodeLength,
                              lengths.data()),
              0u);
    ASSERT_EQ(lengths[12], 12u);
    ASSERT_EQ(lengths[23], 23u);
    ChunkDecoder decoder;
    decoder.reserve(8);
    std::vector<uint32_t> decoded;
    ASSERT_TRUE(tableDecode(decoder, {{chunk, residuals.size()}}, 8, decoded));
    EXPECT_EQ(decoded, residuals);
}

// A Huffman chunk of 8-bit residuals coded by hand: a 1-bit code for blocks of 64 zeros, 2 bits
// for blocks of 8, 3 bits for residuals 0 and 1; `symbols` in order.
std::vector<uint8_t> handCoded(const std::vector<uint32_t>& symbols) {
    const uint32_t alphabet = alphabetSize(8);
    std::vector<uint8_t> lengths(alphabet);
    lengths[zeroBlock64Symbol(8)] = 1;
    lengths[zeroBlock8Symbol(8)] = 2;
    lengths[0] = lengths[1] = 3;
    std::vector<uint32_t> codes(alphabet);
    buildCodes(lengths.data(), alphabet, codes.data());
    std::vector<uint8_t> chunk(1 + 2 * alphabet + symbols.size() + 8);
    chunk[0] = static_cast<uint8_t>(ChunkMode::Huffman);
    uint8_t* payload =
        chunk.data() + 1 + writeCodeLengths(lengths.data(), alphabet, chunk.data() + 1);
    BitWriter writer(payload);
    for (uint32_t s : symbols) {
        writer.put(codes[s] >> 8, codes[s] & 0xFF);
        writer.flush();
    }
    chunk.resize(static_cast<size_t>(writer.finish() - chunk.data()));
    return chunk;
}

// Blocks of zeros stand at multiples of their size: several taken by one probe, as on clean
// pictures, are refused out of place as one is, and taken in place, the chunk's last ones too.
TEST_P(ChunkDecoderWays, TakesRunsOfZeroBlocksOnlyInPlace) {
    const uint32_t z8 = zeroBlock8Symbol(8), z64 = zeroBlock64Symbol(8);
    const struct {
        std::vector<uint32_t> head, tail;
        bool good;
    } kCases[] = {
        {{z64, z64, z64, z64, z8}, {}, true},
        {{z8, z64, z64, z64, z64}, {}, false},  // 64s at 8
        {{z8, z8, z8, z64, z64, z64}, {}, false},
        {{1, 0, 1, 1, 1, 1, 1, 1, z8, z8, z8}, {}, true},
        {{1, z8, z8, z8}, {}, false},
        {{}, std::vector<uint32_t>(8, z64), true},
    };
    ChunkDecoder decoder;
    decoder.reserve(8);
    for (const auto& c : kCases) {
        // Enough residuals after the head that it is decoded in the fast rounds, up to a
        // multiple of 64 before the tail.
        std::vector<uint32_t> symbols = c.head;
        for (int i = 0; i < 3000; ++i) symbols.push_back(1);
        std::vector<uint32_t> residuals;
        const auto decodes = [&](uint32_t s) {
            residuals.insert(residuals.end(), s == z64 ? 64 : s == z8 ? 8 : 1, s < z8 ? s : 0);
        };
        for (uint32_t s : symbols) decodes(s);
        for (; residuals.size() % 64 != 0; symbols.push_back(1)) decodes(1);
        for (uint32_t s : c.tail) symbols.push_back(s), decodes(s);
        const std::vector<uint8_t> chunk = handCoded(symbols);
        std::vector<uint32_t> expected, actual;
        ASSERT_EQ(referenceDecode(chunk, residuals.size(), 8, expected), c.good);
        for (size_t slack : {0, 16}) {
            EXPECT_EQ(tableDecode(decoder, {{chunk, residuals.size()}}, 8, actual, slack), c.good);
            EXPECT_TRUE(!c.good || actual == residuals);
        }
    }
}

// A packet may name any slice count up to the frame's row groups. Each plane slice here is one
// value, coded raw (dense: tasks of three or four chunks) or constant (sparse: two or three), and
// comes out where it belongs whatever the count and however many threads share the tasks.
TEST(FrameDecoder, PutsEverySliceInPlaceForAnySliceCount) {
    ThreadPool pool(2);
    const uint32_t w = 40, h = 96;
    for (uint32_t code : {104u, 105u, 107u})  // 8-bit 4:2:2, 4:2:0 and luma
        for (uint32_t slices = 1; slices <= 13; ++slices)
            for (bool dense : {true, false}) {
                SCOPED_TRACE(testing::Message()
                             << code << " slices " << slices << " dense " << dense);
                StreamGeometry g;
                ASSERT_TRUE(makeStreamGeometry(*findStreamFormat(code), w, h, slices, g));
                const auto value = [&](uint32_t slice, unsigned plane) {
                    return static_cast<uint8_t>(16 + 13 * slice + 70 * plane);
                };
                std::vector<uint8_t> packet(kFrameHeaderFixed +
                                            kChunkSizeField * slices * g.planes);
                packet[0] = kBitstreamVersion;
                packet[1] = static_cast<uint8_t>(g.planes);
                packet[2] = static_cast<uint8_t>(slices);
                for (uint32_t s = 0; s < slices; ++s)
                    for (unsigned p = 0; p < g.planes; ++p) {
                        // A raw chunk of left-predicted residuals that are zero but the first.
                        const uint8_t first = value(s, p) - 128;
                        std::vector<uint8_t> chunk = {static_cast<uint8_t>(ChunkMode::Raw), first};
                        chunk.resize(1 + size_t{g.planeWidth[p]} * g.sliceRows(p, s));
                        if (!dense)
                            chunk = {static_cast<uint8_t>(ChunkMode::Constant), value(s, p), 0};
                        const size_t field =
                            kFrameHeaderFixed + kChunkSizeField * (s * g.planes + p);
                        for (unsigned b = 0; b < 4; ++b)
                            packet[field + b] = static_cast<uint8_t>(chunk.size() >> (8 * b));
                        packet.insert(packet.end(), chunk.begin(), chunk.end());
                    }
                FrameDecoder decoder(g, false);
                std::vector<std::vector<uint8_t>> out(g.planes);
                ParvoluxOutputPlane planes[4] = {};
                for (unsigned p = 0; p < g.planes; ++p) {
                    out[p].assign(size_t{g.planeWidth[p]} * g.planeHeight[p], 0);
                    planes[p] = {out[p].data(), g.planeWidth[p], out[p].size()};
                }
                for (unsigned threads : {1u, 2u}) {
                    // Cleared each time, so that a slice one run skips cannot pass on the other's.
                    for (unsigned p = 0; p < g.planes; ++p)
                        std::fill(out[p].begin(), out[p].end(), uint8_t{0});
                    ASSERT_EQ(decoder.decode(packet.data(), packet.size(), planes, &pool, threads),
                              kOk);
                    for (unsigned p = 0; p < g.planes; ++p)
                        for (uint32_t s = 0, row = 0; s < slices; ++s)
                            for (uint32_t end = row + g.sliceRows(p, s); row < end; ++row)
                                for (uint32_t x = 0; x < g.planeWidth[p]; ++x)
                                    ASSERT_EQ(out[p][size_t{row} * g.planeWidth[p] + x],
                                              value(s, p))
                                        << "plane " << p << " slice " << s << " row " << row;
                }
            }
}

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
                           const std::vector<uint32_t>& residuals, bool flatAreas) {
    constexpr size_t reach = kUnpredictReach;
    constexpr S kGuard = 0x5A;
    // [reach][rows][2 reach][reach][spare rows][2 reach][guard]
    const size_t spareSize = kUnpredictSpareRows<S> * w;
    std::vector<S> buffer(reach + residuals.size() + 3 * reach + spareSize + 3 * reach, kGuard);
    std::copy(residuals.begin(), residuals.end(), buffer.begin() + reach);
    S* spare = buffer.data() + reach + residuals.size() + 3 * reach;
    unpredictSlice<S>(predictor, buffer.data() + reach, w, rows, bits, spare, flatAreas);
    const std::vector<uint32_t> want = reference(predictor, residuals, w, rows, bits);
    for (size_t i = 0; i < want.size(); ++i)
        ASSERT_EQ(buffer[reach + i], want[i]) << "row " << i / w << " column " << i % w;
    for (size_t i = 0; i < reach; ++i) ASSERT_EQ(buffer[i], kGuard) << "before, " << i;
    for (size_t i = 0; i < 2 * reach; ++i)
        ASSERT_EQ(buffer[reach + want.size() + i], kGuard) << "after, " << i;
    for (size_t i = 0; i < reach; ++i)
        ASSERT_EQ(spare[spareSize + 2 * reach + i], kGuard) << "after the spare rows, " << i;
}

TEST(SliceUnpredictor, MatchesTheSequentialLoops) {
    std::mt19937 rng(5);
    const uint32_t widths[] = {1, 2, 9, 16, 17, 32, 33, 34, 35, 47, 48, 49, 65, 100, 129, 257};
    const uint32_t rowCounts[] = {1, 2, 3, 9, 17, 18, 40, 70, 99};
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
                        // Flat areas expected or not; 256-bit vectors where the processor
                        // has them, and 128-bit ones.
                        for (bool flat : {false, true})
                            for (bool wide : {false, true}) {
                                allow(InstructionSet::Avx2, wide);
                                withSample(bits, [&]<class S>(S) {
                                    expectSameAsReference<S>(predictor, w, rows, bits, res, flat);
                                });
                            }
                        allow(InstructionSet::Avx2, true);
                    }
}

}  // namespace
