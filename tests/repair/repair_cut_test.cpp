// Repair of files whose writer died: one journaled encode over four RIFF segments, cut at every
// write's boundary, one byte either side and at random; each repair must give the same encode
// closed after its complete chunks. A cut inside the header is refused, the file untouched.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "avi/avi_repair.h"
#include "avi/write_recorder.h"
#include "fileio/platform_file.h"
#include "platform/avi_reader/avi_reader.h"
#include "tests/avi/avi_check.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Small segments, so that a few kilobytes make four of them.
constexpr AviLimits kLimits{32768, 4096, 2048};
constexpr int kFrames = 20;
constexpr int kStreams = 3;

uint32_t chunkSize(int frame, int stream) {
    switch (stream) {
        case 0:
            return 150 + static_cast<uint32_t>(frame * 53 % 41);  // video, odd and even
        case 1:
            return 4 * (20 + static_cast<uint32_t>(frame % 7));  // 16-bit stereo
        default:
            return 33 + static_cast<uint32_t>(frame % 5);  // 8-bit mono, odd
    }
}

struct Slot {
    int frame, stream;
};

// Each frame's video and two audio streams, but no mono audio in frames 4 to 15: a middle segment
// holds none of it, so it has no index there.
const std::vector<Slot>& sequence() {
    static const std::vector<Slot> slots = [] {
        std::vector<Slot> out;
        for (int frame = 0; frame < kFrames; ++frame) {
            for (int stream = 0; stream < kStreams; ++stream) {
                if (stream < 2 || frame < 4 || frame > 15) out.push_back({frame, stream});
            }
        }
        return out;
    }();
    return slots;
}

// The file as a list of writes, replayed up to any byte of the write stream.
struct Journal {
    std::vector<WriteRecorder::Write> writes;
    uint64_t headerEnd = 0;               // bytes written by writeHeader
    std::vector<uint64_t> chunkComplete;  // bytes written when each chunk's payload was whole

    // The file after the first `cut` bytes of the write stream reached the disk.
    [[nodiscard]] Bytes image(uint64_t cut) const {
        Bytes file;
        for (const auto& w : writes) {
            if (cut == 0) break;
            const size_t n = static_cast<size_t>(std::min<uint64_t>(cut, w.bytes.size()));
            if (file.size() < w.pos + n) file.resize(w.pos + n);
            std::copy_n(w.bytes.begin(), n, file.begin() + static_cast<std::ptrdiff_t>(w.pos));
            cut -= n;
        }
        return file;
    }

    [[nodiscard]] size_t chunksWhole(uint64_t cut) const {
        size_t k = 0;
        while (k < chunkComplete.size() && chunkComplete[k] <= cut) ++k;
        return k;
    }
};

// The encode: chunks 0..chunks-1 of the sequence, then finalize when asked.
Journal encode(size_t chunks, bool finalize = true) {
    WriteRecorder file;
    Journal j;
    const auto written = [&] {
        uint64_t n = 0;
        for (const auto& w : file.writes) n += w.bytes.size();
        return n;
    };
    {
        AviWriter w(file, kLimits);
        addVideo(w);
        w.stream(w.addStream(fourCC("auds"))).setAudioFormat(1, 2, 48000, 16, 3);
        w.stream(w.addStream(fourCC("auds"))).setAudioFormat(1, 1, 8000, 8, 0);
        w.writeHeader();
        j.headerEnd = written();
        const Bytes payload(256, 0xA5);
        for (size_t i = 0; i < chunks; ++i) {
            const auto [frame, stream] = sequence()[i];
            const uint32_t size = chunkSize(frame, stream);
            const uint32_t duration = stream == 0 ? 1 : (stream == 1 ? size / 4 : size);
            w.writeChunk(static_cast<size_t>(stream), payload.data(), size, duration, stream == 0);
            j.chunkComplete.push_back(written() - (size & 1));
        }
        if (finalize) w.finalize();
        j.writes = std::move(file.writes);
        // Without finalize the destructor would still close the file; its writes are not kept.
        file.writes.clear();
    }
    return j;
}

Bytes readAll(const std::string& path) {
    fileio::PlatformFile f;
    Bytes bytes;
    if (!f.open(path.c_str(), fileio::File::Read)) return bytes;
    bytes.resize(static_cast<size_t>(f.size()));
    if (f.read(bytes.data(), bytes.size()) != bytes.size()) bytes.clear();
    return bytes;
}

void writeAll(const std::string& path, const Bytes& bytes) {
    fileio::PlatformFile f;
    ASSERT_TRUE(f.open(path.c_str(), fileio::File::Write));
    ASSERT_EQ(f.write(bytes.data(), bytes.size()), bytes.size());
}

// Repairs the file in place through the platform's file layer; answers the plan it applied.
AviRepairPlan repair(const std::string& path) {
    fileio::PlatformFile f;
    EXPECT_TRUE(
        f.open(path.c_str(), fileio::File::Read | fileio::File::Write | fileio::File::Existing));
    AviRepairPlan plan = planAviRepair(f);
    if (plan.scan.verdict == AviScan::Verdict::Ours && plan.needed) applyAviRepair(f, plan);
    return plan;
}

TEST(RepairCut, EveryCutRepairsToTheFileClosedAfterTheSameChunks) {
    const size_t kChunks = sequence().size();
    const Journal full = encode(kChunks, true);

    // The cuts: every write's first byte, one before and one after, and random ones.
    std::set<uint64_t> cuts;
    uint64_t total = 0;
    for (const auto& w : full.writes) {
        cuts.insert({total, total + 1, total + w.bytes.size() - 1, total + w.bytes.size()});
        if (total > 0) cuts.insert(total - 1);
        total += w.bytes.size();
    }
    std::mt19937_64 random(20261206);
    for (int i = 0; i < 40; ++i) cuts.insert(random() % (total + 1));

    std::map<size_t, Bytes> references;  // by the number of complete chunks
    const auto reference = [&](size_t k) -> const Bytes& {
        auto it = references.find(k);
        if (it == references.end()) it = references.emplace(k, encode(k).image(UINT64_MAX)).first;
        return it->second;
    };
    const avireader::AviFile whole =
        avireader::parseAvi(reference(kChunks).data(), reference(kChunks).size());
    ASSERT_GE(whole.segments.size(), 4U);
    ASSERT_LT(whole.streams.at(2).superIndex.value().entries.size(), whole.segments.size());

    TempDir dir;
    const std::string path = dir.file(u8"cut.avi");
    std::set<size_t> kept;
    for (const uint64_t cut : cuts) {
        SCOPED_TRACE("cut at write byte " + std::to_string(cut));
        const Bytes before = full.image(cut);
        writeAll(path, before);
        const AviRepairPlan plan = repair(path);
        if (cut < full.headerEnd) {
            EXPECT_EQ(plan.scan.verdict, AviScan::Verdict::HeaderDamaged) << plan.scan.reason;
            EXPECT_EQ(readAll(path), before);
            continue;
        }
        ASSERT_EQ(plan.scan.verdict, AviScan::Verdict::Ours) << plan.scan.reason;
        const size_t k = full.chunksWhole(cut);
        const Bytes after = readAll(path);
        ASSERT_TRUE(reference(k) == after) << k << " chunks: not the reference file";
        EXPECT_EQ(plan.needed, before != after);
        const avireader::AviFile avi = avireader::parseAvi(after.data(), after.size());
        for (const auto& p : avireader::checkAvi(avi)) ADD_FAILURE() << toString(p);
        EXPECT_EQ(avi.chunks.size(), k);
        EXPECT_FALSE(repair(path).needed);
        EXPECT_EQ(readAll(path), after);
        kept.insert(k);
    }
    EXPECT_GT(kept.size(), kChunks / 2);
}

// A copy of a finished file cut short holds the finished file's sizes and super index entries: its
// repair counts them again over the chunks kept, none at all included.
TEST(RepairCut, FinishedFileCutShortRepairsToTheFileClosedAfterItsChunks) {
    const Journal full = encode(sequence().size(), true);
    const Bytes finished = full.image(UINT64_MAX);
    TempDir dir;
    const std::string path = dir.file(u8"copy.avi");
    for (const size_t k : {size_t{0}, size_t{1}, size_t{8}, sequence().size() - 1}) {
        const uint64_t end = k == 0 ? full.headerEnd : full.chunkComplete[k - 1];
        writeAll(path, Bytes(finished.begin(), finished.begin() + static_cast<ptrdiff_t>(end)));
        EXPECT_TRUE(repair(path).needed);
        EXPECT_TRUE(readAll(path) == encode(k).image(UINT64_MAX)) << k << " chunks";
    }
}

// The tail a scan reports for cuts at telling places, what it reads, and the refusals.
TEST(RepairCut, ScanNamesTheTornTailAndRefusesWhatItDidNotWrite) {
    const Journal j = encode(sequence().size(), false);
    const Bytes unfinished = j.image(UINT64_MAX);
    TempDir dir;
    const std::string path = dir.file(u8"t.avi");
    const auto scanOf = [&](const Bytes& bytes) {
        writeAll(path, bytes);
        fileio::PlatformFile f;
        EXPECT_TRUE(f.open(path.c_str(), fileio::File::Read));
        return scanAvi(f);
    };
    using K = TailPiece::Kind;
    const struct {
        uint64_t cutBeforeEnd;
        std::vector<K> tail;
        bool padMissing;
    } cases[] = {
        {0, {}, false},
        {1, {}, true},  // the last chunk is odd
        {2, {K::DataChunk}, false},
        {chunkSize(kFrames - 1, 2) + 6, {K::ChunkHeader}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cutBeforeEnd);
        const AviScan scan = scanOf(
            Bytes(unfinished.begin(), unfinished.end() - static_cast<ptrdiff_t>(c.cutBeforeEnd)));
        ASSERT_EQ(scan.verdict, AviScan::Verdict::Ours) << scan.reason;
        std::vector<K> kinds;
        for (const TailPiece& p : scan.tail) kinds.push_back(p.kind);
        EXPECT_EQ(kinds, c.tail);
        EXPECT_EQ(scan.torn(), !c.tail.empty());
        EXPECT_EQ(scan.padMissing, c.padMissing);
        // The header's records and one header per chunk, nothing of a payload.
        EXPECT_LE(scan.bytesRead, j.headerEnd + 16 * j.chunkComplete.size());
    }

    // Not this writer's: another form, a chunk of its own in the header, a foreign chunk in "movi",
    // a closed segment indexing a stream twice and another not at all.
    const AviScan whole = scanOf(unfinished);
    const struct {
        uint64_t at;
        const char* id;
        AviScan::Verdict verdict;
        std::string reason;
    } rows[] = {
        {8, "WAVE", AviScan::Verdict::NotOurs, "found 'WAVE' at byte 8"},
        {12, "JUNK", AviScan::Verdict::NotOurs,
         "found 'JUNK' at byte 12 where this writer puts 'LIST'"},
        {24, "JUNK", AviScan::Verdict::NotOurs, "found 'JUNK' at byte 24"},
        {whole.segments.at(1).chunks.at(0).pos, "JUNK", AviScan::Verdict::Broken,
         "unexpected chunk 'JUNK'"},
        {whole.segments.at(0).indexes.at(0).pos, "ix01", AviScan::Verdict::Broken,
         "segment 1 was closed without the indexes of its chunks"},
    };
    for (const auto& row : rows) {
        Bytes bytes = unfinished;
        std::copy_n(row.id, 4, bytes.begin() + static_cast<ptrdiff_t>(row.at));
        const AviScan scan = scanOf(bytes);
        EXPECT_EQ(scan.verdict, row.verdict) << row.at;
        EXPECT_TRUE(scan.reason.starts_with(row.reason)) << scan.reason;
    }
}

}  // namespace
