// Whole files read back by the independent reader (real files through the platform file meet the
// container's tests): the chunk tree of a small file, files of many segments, the refusals, and
// failures of chosen calls: the stated message for each, finalize attempting every patch and
// reporting once, the chunks written before left intact. The RIFF chunk writer is met through
// these: sizes patched only when they changed, pads counted in the parent, the chunk stack
// consistent through every failure.
#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "avi/riff_writer.h"
#include "fileio/errors.h"
#include "tests/avi/avi_check.h"
#include "tests/support/huge_buffer.h"

namespace {

constexpr size_t kKeep = 65576;  // a whole reserved super index, but no large payload

// Two even frames and an odd one; each chunk costs three position queries, a write for its header
// and one for its payload (and one for a pad), and no patch.
TEST(AviWriter, SmallFileHasTheExactChunkTree) {
    TestFile f;
    AviWriter w(f);
    addVideo(w);
    w.writeHeader();
    std::vector<uint8_t> frame(1001);
    std::iota(frame.begin(), frame.end(), uint8_t{1});
    for (const size_t size : {1000, 1000, 1001}) {
        const int tells = f.tells, writes = f.writes, writeAts = f.writeAts;
        w.writeChunk(0, frame.data(), size, 1, true);
        EXPECT_EQ(std::tuple(f.tells - tells, f.writes - writes, f.writeAts - writeAts),
                  std::tuple(3, 2 + int(size % 2), 0));
    }
    w.finalize();
    const avireader::AviFile avi = checked(f);
    EXPECT_EQ(outline(avi),
              "0 RIFF AVI  69206\n12 LIST hdrl 66044\n24 avih 56\n88 LIST strl 65700\n100 strh 56\n"
              "164 strf 40\n212 indx 65576\n65796 LIST odml 260\n65808 dmlh 248\n"
              "66064 LIST movi 3086\n66076 00dc 1000\n67084 00dc 1000\n68092 00dc 1001\n"
              "69102 ix00 48\n69158 idx1 48\n");
    EXPECT_EQ(f.end, 69214U);
    EXPECT_EQ(avi.oldIndex->entries[0].offset, 4U);                 // from the "movi" FourCC
    EXPECT_EQ(avi.mainHeader->suggestedBufferSize, 1010U);          // the whole chunk
    EXPECT_EQ(avi.streams[0].header->suggestedBufferSize, 1001U);   // the payload
    EXPECT_EQ(f.bytesAt(260, 65536), std::vector<uint8_t>(65536));  // unused indx
}

// Closing adds one standard index chunk of one entry (40 bytes) and "idx1" of one entry (24). The
// segment check comes before the stream lookup: a chunk of no stream (-1) still starts a segment.
TEST(AviWriter, FirstSegmentFillsExactlyToItsLimit) {
    for (const int extra : {0, 2, -1}) {
        SCOPED_TRACE(extra);
        TestFile f(kKeep);
        AviWriter w(f);
        addVideo(w);
        w.writeHeader();
        const uint64_t fill = w.firstRiffLimit - f.position - 8 - 40 - 24 + std::max(extra, 0);
        w.writeChunk(0, hugeBuffer(), fill, 1, true);
        if (extra < 0) {
            EXPECT_THROW(w.writeChunk(1, hugeBuffer(), 2, 1, true), std::out_of_range);
        }
        w.finalize();
        const avireader::AviFile avi = checked(f);
        ASSERT_EQ(avi.segments.size(), extra == 0 ? 1U : 2U);
        EXPECT_TRUE(extra != 0 || avi.segments[0].size + 8U == w.firstRiffLimit);
    }
}

// A payload the host locked without memory: its header is written, the payload is handed to the
// file as it is and comes back short, so the chunk is closed at what was written and stays
// unindexed; the chunks around it are unharmed.
TEST(AviWriter, ANullPayloadLeavesAnEmptyUnindexedChunk) {
    TestFile f;
    AviWriter w(f);
    addVideo(w);
    w.writeHeader();
    const std::vector<uint8_t> frame(10, 7);
    w.writeChunk(0, frame.data(), frame.size(), 1, true);
    const int writes = f.writes, writeAts = f.writeAts;
    try {
        w.writeChunk(0, nullptr, 1001, 1, true);
        ADD_FAILURE() << "a null payload was taken";
    } catch (const fileio::WriteError& e) {
        EXPECT_STREQ(e.what(), "Write error: size: 1001, written: 0");
    }
    EXPECT_EQ(std::pair(f.writes - writes, f.writeAts - writeAts), std::pair(3, 1));
    w.writeChunk(0, frame.data(), frame.size(), 1, true);
    w.finalize();
    const avireader::AviFile avi = readBack(f);
    EXPECT_EQ(outline(avi).substr(outline(avi).find("66064")),
              "66064 LIST movi 96\n66076 00dc 10\n66094 00dc 0\n66102 00dc 10\n66120 ix00 40\n"
              "66168 idx1 32\n");
    EXPECT_EQ(f.bytesAt(66094, 8), hex("30306463 00000000"));
    EXPECT_EQ(avi.oldIndex->entries.size(), 2U);
    EXPECT_EQ(w.odmlHeader.dwTotalFrames, 2U);
}

TEST(AviWriter, RefusesMisuseWithoutWriting) {
    TestFile f;
    AviWriter w(f);
    addVideo(w);
    const uint8_t byte = 0;
    w.finalize();  // without a header there is nothing to end
    EXPECT_EQ(f.writes + f.writeAts, 0);
    const std::string lateStream =
        "AviWriter::addStream: the header is already written, streams must be added before "
        "writeHeader()";
    expectRefusal(f,
                  "AviWriter::writeChunk: header is not written, writeHeader() must be called "
                  "first",
                  [&] { w.writeChunk(0, &byte, 1, 1, true); });
    w.writeHeader();
    expectRefusal(f, "AviWriter::writeHeader: already called, header is already written",
                  [&] { w.writeHeader(); });
    EXPECT_THROW(w.writeChunk(1, &byte, 1, 1, true), std::out_of_range);
    expectRefusal(f, "invalid vector subscript", [&] { w.writeChunk(1, &byte, 1, 1, true); });
    expectRefusal(f, lateStream, [&] { w.addStream(fourCC("auds")); });
    expectRefusal(f, "AviWriter::writeChunk: the chunk would take the file past 8 TiB",
                  [&] { w.writeChunk(0, &byte, w.maxFileSize, 1, true); });
    for (int i = 0; i < 5000; ++i) w.writeChunk(0, &byte, 1, 1, true);  // "idx1" of two blocks
    w.finalize();
    expectRefusal(f, lateStream, [&] { w.addStream(fourCC("auds")); });
    const avireader::AviFile avi = checked(f);
    EXPECT_EQ(avi.oldIndex->entries.size(), 5000U);
    AviWriter full(f);
    for (size_t i = 0; i < 100; ++i)
        ASSERT_EQ(full.addStream(fourCC(i == 12 ? "txts" : "auds")), i);
    expectRefusal(f, "AviWriter::addStream: too many streams, at most 100 are supported",
                  [&] { full.addStream(fourCC("auds")); });
    EXPECT_EQ(full.mainHeader.dwStreams, 100U);
    EXPECT_TRUE(full.stream(12).chunkId() == fourCC("12??") &&
                full.stream(12).indexChunkId() == fourCC("ix12") &&
                full.stream(99).chunkId() == fourCC("99wb"));
}

// The refusal names the limit the writer was given, in the largest binary unit that divides it.
TEST(AviWriter, TheFileLimitRefusalNamesTheLimit) {
    const std::pair<uint64_t, const char*> kLimits[] = {
        {3ULL << 30, "3 GiB"}, {5ULL << 20, "5 MiB"}, {1ULL << 10, "1 KiB"}, {1536, "1536 bytes"}};
    for (const auto& [size, text] : kLimits) {
        const uint64_t limit = size;  // a lambda of clang 14 cannot capture a binding
        TestFile f;
        AviWriter w(f, AviLimits{.maxFileSize = limit});
        addVideo(w);
        w.writeHeader();
        const uint8_t byte = 0;
        expectRefusal(
            f, std::string("AviWriter::writeChunk: the chunk would take the file past ") + text,
            [&] { w.writeChunk(0, &byte, limit + 1, 1, true); });
    }
}

// Each chunk fills a segment of its own, the first staying empty, until the reserved super index
// is full; a chunk that fits the current segment is still taken.
TEST(AviWriter, RefusesASegmentBeyondTheSuperIndexSpace) {
    TestFile f(kKeep);
    AviWriter w(f);
    addVideo(w);
    w.writeHeader();
    ASSERT_EQ(w.superIndexCapacity(), 4097U);
    for (int i = 0; i < 4097; ++i) w.writeChunk(0, hugeBuffer(), 1288490188, 1, true);
    expectRefusal(f,
                  "AviWriter::writeChunk: the stream's super index is full, no further segment "
                  "fits",
                  [&] { w.writeChunk(0, hugeBuffer(), 1288490188, 1, true); });
    w.writeChunk(0, hugeBuffer(), 100, 1, true);
    w.finalize();
    EXPECT_EQ(checked(f).segments.size(), 4098U);
}

// Near the limit, a chunk that would fit is refused when the closing indexes would not.
TEST(AviWriter, RefusesAChunkPastTheFileLimit) {
    TestFile f(kKeep);
    AviWriter w(f);
    addVideo(w);
    ASSERT_TRUE(f.seek(w.maxFileSize - (64 << 20)));
    w.writeHeader();
    w.writeChunk(0, hugeBuffer(), 32 << 20, 1, true);
    expectRefusal(f, "AviWriter::writeChunk: the chunk would take the file past 8 TiB",
                  [&] { w.writeChunk(0, hugeBuffer(), w.maxFileSize - f.position - 16, 1, true); });
    w.writeChunk(0, hugeBuffer(), 16 << 20, 1, true);
    EXPECT_NO_THROW(w.finalize());
    EXPECT_LE(f.end, w.maxFileSize);
    EXPECT_EQ(w.odmlHeader.dwTotalFrames, 2U);
}

// Header, five rounds of a large (dropped) and a small video chunk and an odd audio chunk, then
// finalize. The large chunks make the fifth round roll over into an "AVIX" segment.
constexpr size_t kBig = 250000000, kRolloverStep = 13, kFinalizeStep = 16;
constexpr size_t kSizes[] = {kBig, 1000, 1001};

// One run over a file that keeps all but the large payloads and the reserved super indexes; arm,
// called before each step, may set the file's faults.
struct FailureRun {
    using Arm = std::function<void(size_t step, const AviWriter& w, TestFile& file)>;
    explicit FailureRun(const Arm& arm = nullptr) {
        std::vector<uint8_t> payload(1001);
        std::iota(payload.begin(), payload.end(), uint8_t{1});
        std::vector<std::pair<uint64_t, size_t>> intact;  // header position, payload size
        {
            AviWriter w(file);
            addVideo(w);
            w.stream(w.addStream(fourCC("auds"))).setAudioFormat(1, 1, 8000, 8, 0);
            for (size_t step = 0; step <= kFinalizeStep; ++step) {
                if (arm) arm(step, w, file);
                const size_t size = kSizes[(step + 2) % 3];
                try {
                    if (step == 0) w.writeHeader();
                    if (step == kFinalizeStep) w.finalize();
                    if (step == 0 || step == kFinalizeStep) continue;
                    w.writeChunk(size == 1001 ? 1 : 0, size == kBig ? hugeBuffer() : payload.data(),
                                 size, size == 1001 ? 1001 : 1, size != 1001);
                    if (size != kBig)
                        intact.emplace_back(file.position - 8 - size - size % 2, size);
                } catch (const fileio::Error& e) {
                    errors.push_back(std::to_string(step) + ": " + e.what());
                    if (step == 0) step = kFinalizeStep - 1;  // no chunks without a header
                }
            }
            EXPECT_EQ(w.riff.depth(), 0U);
            const auto add = [&](int64_t pos, const auto& record) {
                LittleEndianBuffer b;
                record.serialize(b);
                patches.emplace_back(pos, b.take());
            };
            add(w.avihPos, w.mainHeader);
            add(w.dmlhPos, w.odmlHeader);
            for (const auto& s : w.streams) {
                add(s->strhPos, s->header);
                add(s->indxPos, s->superIndexHeader);
            }
        }
        for (const auto& [pos, size] : intact) {
            EXPECT_EQ(avireader::le32(file.bytesAt(pos + 4, 4).data()), size) << "chunk at " << pos;
            EXPECT_EQ(file.bytesAt(pos + 8, size),
                      std::vector(payload.begin(), payload.begin() + size));
        }
    }

    // Every patch but the one at skip holds what finalize meant to store.
    void expectPatched(int64_t skip) const {
        for (const auto& [pos, bytes] : patches) {
            if (pos >= 0 && pos != skip) {
                EXPECT_EQ(file.bytesAt(pos, bytes.size()), bytes) << "patch at " << pos;
            }
        }
    }

    TestFile file{4096};
    std::vector<std::string> errors;                                // "step: what"
    std::vector<std::pair<int64_t, std::vector<uint8_t>>> patches;  // what finalize meant to store
};

// One fault within one step: a write of shortCount bytes transfers half, or the writeAt to the
// offset that patchAt names fails. In finalize every other patch is still made.
TEST(AviFailures, EachFailureGivesItsStatedMessage) {
    using Patch = int64_t (*)(const AviWriter&);
    const Patch movi = [](const AviWriter& w) { return static_cast<int64_t>(w.moviStart + 4); };
    const Patch riff = [](const AviWriter& w) { return static_cast<int64_t>(w.riffStart + 4); };
    const Patch avih = [](const AviWriter& w) { return w.avihPos; };
    const Patch indx = [](const AviWriter& w) { return w.streams[1]->indxPos; };
    const std::string roll = std::to_string(kRolloverStep) + ": ";
    const std::string fin =
        std::to_string(kFinalizeStep) + ": AviWriter::finalize: failed to correctly finalize avi";
    const struct {
        size_t step, shortCount;
        Patch patchAt;
        std::string error;
    } rows[] = {
        {0, 12, nullptr, "0: Write error: size: 12, written: 6"},            // RIFF header
        {0, 65576, nullptr, "0: Write error: size: 65576, written: 32788"},  // indx
        {2, 8, nullptr, "2: Write error: size: 8, written: 4"},
        {2, 1000, nullptr, "2: Write error: size: 1000, written: 500"},
        {3, 1, nullptr, "3: Failed to close riff chunk: 01wb"},                       // pad byte
        {kRolloverStep, 88, nullptr, roll + "Write error: size: 88, written: 44"},    // ix00
        {kRolloverStep, 192, nullptr, roll + "Write error: size: 192, written: 96"},  // idx1
        {kRolloverStep, 0, movi, roll + "Failed to close riff chunk: movi"},
        {kRolloverStep, 0, riff, roll + "Failed to close riff chunk: AVI "},
        {kFinalizeStep, 40, nullptr, fin},  // ix00
        {kFinalizeStep, 0, riff, fin},      // AVIX size
        {kFinalizeStep, 0, avih, fin},
        {kFinalizeStep, 0, indx, fin},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << &row - rows);
        int64_t failedAt = -1;
        const FailureRun r([&](size_t step, const AviWriter& w, TestFile& file) {
            file.limitWrite = nullptr;
            file.failWriteAt = nullptr;
            if (step != row.step) return;
            if (row.patchAt) {
                failedAt = row.patchAt(w);
                file.failWriteAt = [failedAt](int, int64_t offset) { return offset == failedAt; };
            } else {
                file.limitWrite = [count = row.shortCount](int, size_t n) mutable {
                    if (n != count) return std::optional<size_t>();
                    count = 0;  // only the first such write
                    return std::optional(n / 2);
                };
            }
        });
        EXPECT_EQ(r.errors, std::vector<std::string>{row.error});
        if (row.step == kFinalizeStep) r.expectPatched(failedAt);
    }
}

// Without a fault the run gives a consistent file of two segments. Whichever write, patch or seek
// to a patch (not the way back) fails instead, the failure is reported exactly once.
TEST(AviFailures, AnyFailedCallIsReportedOnceAndSparesEarlierChunks) {
    const FailureRun clean;
    EXPECT_EQ(clean.errors, std::vector<std::string>{});
    const avireader::AviFile avi = checked(clean.file);
    EXPECT_EQ(avi.segments.size(), 2U);
    clean.expectPatched(-1);
    const int calls[] = {clean.file.writes, clean.file.writeAts, clean.file.seeks};
    for (int kind = 0; kind < 3; ++kind) {
        for (int n = 1; n <= calls[kind]; n += kind == 2 ? 2 : 1) {
            const FailureRun r([&](size_t step, const AviWriter&, TestFile& file) {
                if (step > 0) return;
                if (kind == 0)
                    file.limitWrite = [n](int k, size_t c) {
                        return k == n ? std::optional(c / 2) : std::nullopt;
                    };
                if (kind == 1) file.failWriteAt = [n](int k, int64_t) { return k == n; };
                if (kind == 2) file.failSeek = [n](int k) { return k == n; };
            });
            EXPECT_EQ(r.errors.size(), 1U) << "call kind " << kind << ", number " << n;
        }
    }
}

// What a failed close names a chunk by: bytes outside printable ASCII as numbers.
TEST(AviFailures, ChunkLabelsShowBytesOutsidePrintableAsciiAsNumbers) {
    EXPECT_EQ(RiffWriter::label({fourCC('a', 0x80, 'c', 'd')}), "a[128]cd");
    EXPECT_EQ(RiffWriter::label({fourCC(1, 'a', 'b', '~')}), "[1]ab~");
    EXPECT_EQ(RiffWriter::label({fourCC("LIST"), 0, fourCC(' ', 'd', 'm', 0x7F)}), " dm[127]");
}

}  // namespace
