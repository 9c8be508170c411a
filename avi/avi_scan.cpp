#include "avi/avi_scan.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "avi/avi_index.h"
#include "avi/avi_stream.h"
#include "avi/four_cc.h"
#include "avi/little_endian_reader.h"
#include "avi/riff_layout.h"

namespace {

constexpr uint32_t kIdx1 = fourCC("idx1");
// RIFF "AVIX" and LIST "movi" headers.
constexpr uint64_t kSegmentHeader = 2 * kListHeaderSize;
// Where the writer puts the header list and its main header: after RIFF "AVI " and LIST "hdrl".
constexpr uint64_t kHdrlPos = kListHeaderSize;
constexpr uint64_t kAvihPos = kHdrlPos + kListHeaderSize;

// The id in quotes, unprintable bytes as '?'.
std::string quoted(uint32_t id) {
    std::string s(1, '\'');
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<char>((id >> (8 * i)) & 0xFF);
        s.push_back(c >= 0x20 && c <= 0x7E ? c : '?');
    }
    s.push_back('\'');
    return s;
}

struct ChunkHead {
    uint32_t id = 0;
    uint32_t size = 0;
    uint32_t listType = 0;
};

// One 8- or 12-byte structure read ahead of where the walk goes next.
class Scanner {
public:
    explicit Scanner(fileio::File& file) : file(file) {}

    AviScan run() {
        const int64_t size = file.size();
        scan.fileSize = size > 0 ? static_cast<uint64_t>(size) : 0;
        if (readHeader()) {
            walk();
        }
        return std::move(scan);
    }

private:
    bool fail(AviScan::Verdict verdict, std::string reason) {
        scan.verdict = verdict;
        scan.reason = std::move(reason);
        return false;
    }

    bool readAt(uint64_t pos, void* buffer, size_t count) {
        if (!file.seek(pos)) {
            return false;
        }
        const size_t got = file.read(buffer, count);
        scan.bytesRead += got;
        return got == count;
    }

    // The chunk or list header at pos, which must lie inside the file's header part.
    bool headerAt(uint64_t pos, bool list, std::string_view id, ChunkHead& head) {
        const uint64_t need = list ? kListHeaderSize : kChunkHeaderSize;
        std::array<uint8_t, kListHeaderSize> b{};
        if (pos + need > scan.fileSize) {
            // Cut short, what is there still has to begin as the writer's header does.
            const size_t have = pos < scan.fileSize ? std::min<size_t>(4, scan.fileSize - pos) : 0;
            if (!readAt(pos, b.data(), have) ||
                !std::equal(b.begin(), b.begin() + have, id.begin())) {
                return fail(AviScan::Verdict::NotOurs,
                            "the file does not begin as this writer's files do");
            }
            return fail(
                AviScan::Verdict::HeaderDamaged,
                "the file ends at byte " + std::to_string(scan.fileSize) + ", inside its header");
        }
        if (!readAt(pos, b.data(), need)) {
            return fail(AviScan::Verdict::HeaderDamaged,
                        "cannot read the header at byte " + std::to_string(pos));
        }
        LittleEndianReader in(b);
        head.id = in.get32();
        head.size = in.get32();
        head.listType = list ? in.get32() : 0;
        return true;
    }

    // A chunk or list that the writer puts at pos, with the given id (and list type).
    bool expect(uint64_t pos, std::string_view id, std::string_view listType, ChunkHead& head) {
        const bool list = !listType.empty();
        if (!headerAt(pos, list, id, head)) {
            return false;
        }
        const auto want = [](std::string_view s) {
            return fourCC(static_cast<uint8_t>(s[0]), static_cast<uint8_t>(s[1]),
                          static_cast<uint8_t>(s[2]), static_cast<uint8_t>(s[3]));
        };
        // The first of the two that differs, at its own offset.
        const bool idWrong = head.id != want(id);
        if (idWrong || (list && head.listType != want(listType))) {
            return fail(AviScan::Verdict::NotOurs,
                        std::string("found ") + quoted(idWrong ? head.id : head.listType) +
                            " at byte " + std::to_string(idWrong ? pos : pos + kChunkHeaderSize) +
                            " where this writer puts '" + std::string(idWrong ? id : listType) +
                            "'");
        }
        return true;
    }

    bool payload(uint64_t pos, uint32_t size, std::vector<uint8_t>& out) {
        if (pos + size <= scan.fileSize) {
            out.resize(size);
        }
        if (pos + size > scan.fileSize || !readAt(pos, out.data(), size)) {
            return fail(
                AviScan::Verdict::HeaderDamaged,
                "the file ends at byte " + std::to_string(scan.fileSize) + ", inside its header");
        }
        return true;
    }

    // A leaf chunk of the wrong size is not the writer's. A list's size is patched when it closes,
    // so a wrong one counts only once the header is known to be whole (see readHeader).
    bool sized(const ChunkHead& head, uint64_t size, uint64_t pos) {
        if (head.size == size) {
            return true;
        }
        std::string reason = quoted(head.listType ? head.listType : head.id) + " at byte " +
                             std::to_string(pos) + " holds " + std::to_string(head.size) +
                             " bytes where this writer writes " + std::to_string(size);
        if (head.listType == 0) {
            return fail(AviScan::Verdict::NotOurs, std::move(reason));
        }
        if (listSizeMismatch.empty()) {
            listSizeMismatch = std::move(reason);
        }
        return true;
    }

    bool readHeader() {
        ChunkHead riff, hdrl, avih;
        if (!expect(0, "RIFF", "AVI ", riff) || !expect(kHdrlPos, "LIST", "hdrl", hdrl) ||
            !expect(kAvihPos, "avih", "", avih) || !sized(avih, AviMainHeader::kSize, kAvihPos)) {
            return false;
        }
        std::vector<uint8_t> bytes;
        const uint64_t avihData = kAvihPos + kChunkHeaderSize;
        if (!payload(avihData, AviMainHeader::kSize, bytes)) {
            return false;
        }
        LittleEndianReader in(bytes);
        scan.mainHeader = AviMainHeader::parse(in);
        scan.avihPos = static_cast<int64_t>(avihData);
        if (scan.mainHeader.dwStreams > 100) {
            return fail(AviScan::Verdict::NotOurs, "more streams than this writer writes");
        }
        uint64_t pos = avihData + AviMainHeader::kSize;
        for (uint32_t i = 0; i < scan.mainHeader.dwStreams; ++i) {
            if (!readStreamList(pos)) {
                return false;
            }
        }
        ChunkHead odml, dmlh, movi;
        if (!expect(pos, "LIST", "odml", odml) ||
            !sized(odml, 4 + chunkFootprint(OdmlHeader::kSize), pos) ||
            !expect(pos + kListHeaderSize, "dmlh", "", dmlh) ||
            !sized(dmlh, OdmlHeader::kSize, pos + kListHeaderSize)) {
            return false;
        }
        scan.dmlhPos = static_cast<int64_t>(pos + kListHeaderSize + kChunkHeaderSize);
        pos += kListHeaderSize + chunkFootprint(OdmlHeader::kSize);
        if (!sized(hdrl, pos - kHdrlPos - kChunkHeaderSize, kHdrlPos) ||
            !expect(pos, "LIST", "movi", movi)) {
            return false;
        }
        if (!listSizeMismatch.empty()) {
            return fail(AviScan::Verdict::NotOurs, listSizeMismatch);
        }
        scan.segments.push_back(ScannedSegment{0, pos, {}, {}});
        return true;
    }

    bool readStreamList(uint64_t& pos) {
        const uint64_t start = pos;
        ChunkHead strl, strh, strf, indx;
        const uint64_t strhPos = pos + kListHeaderSize;
        if (!expect(pos, "LIST", "strl", strl) || !expect(strhPos, "strh", "", strh) ||
            !sized(strh, AviStreamHeader::kSize, strhPos)) {
            return false;
        }
        ScannedStream& s = scan.streams.emplace_back();
        std::vector<uint8_t> bytes;
        if (!payload(strhPos + kChunkHeaderSize, AviStreamHeader::kSize, bytes)) {
            return false;
        }
        LittleEndianReader in(bytes);
        s.header = AviStreamHeader::parse(in);
        s.strhPos = static_cast<int64_t>(strhPos + kChunkHeaderSize);
        pos = strhPos + kChunkHeaderSize + AviStreamHeader::kSize;
        if (!expect(pos, "strf", "", strf) ||
            !payload(pos + kChunkHeaderSize, strf.size, s.format)) {
            return false;
        }
        pos += chunkFootprint(strf.size);
        if (!expect(pos, "indx", "", indx)) {
            return false;
        }
        if (indx.size < SuperIndexHeader::kSize ||
            (indx.size - SuperIndexHeader::kSize) % SuperIndexEntry::kSize != 0) {
            return fail(AviScan::Verdict::NotOurs, "'indx' at byte " + std::to_string(pos) +
                                                       " is not sized as this writer sizes it");
        }
        s.indxPos = static_cast<int64_t>(pos + kChunkHeaderSize);
        s.indxSize = indx.size;
        pos += kChunkHeaderSize + indx.size;
        return sized(strl, pos - start - kChunkHeaderSize, start);
    }

    // The stream whose data chunks (ix = false) or standard indexes (ix = true) carry this id.
    int streamOf(uint32_t id, bool ix) const {
        const std::vector<uint32_t>& ids = ix ? indexIds : chunkIds;
        const auto it = std::find(ids.begin(), ids.end(), id);
        return it == ids.end() ? -1 : static_cast<int>(it - ids.begin());
    }

    enum class Phase { Data, Indexes, Closed };

    struct Found {
        TailPiece piece;
        size_t segment = 0;
        uint32_t stream = 0;
    };

    // What one step of the walk did: go on from the new position, stop at a cut, or stop on a
    // failure already recorded.
    enum class Step { Next, Cut, Failed };

    void walk() {
        for (size_t i = 0; i < scan.streams.size(); ++i) {
            const AviStream s(i, scan.streams[i].header.fccType);
            chunkIds.push_back(s.chunkId());
            indexIds.push_back(s.indexChunkId());
        }
        cursor = scan.segments.front().moviStart + kListHeaderSize;
        segments = std::move(scan.segments);
        Step step = Step::Next;
        while (step == Step::Next && cursor < scan.fileSize) {
            step = walkChunk();
        }
        if (step != Step::Failed) {
            keep();
        }
    }

    Step broken(std::string reason) {
        fail(AviScan::Verdict::Broken, std::move(reason));
        return Step::Failed;
    }

    // Notes a structure that is not a complete data chunk; whether it is whole decides the step.
    Step add(TailPiece::Kind kind, uint64_t need, uint32_t id, uint32_t stream) {
        const uint64_t have = std::min(need, scan.fileSize - cursor);
        found.push_back({TailPiece{kind, cursor, have, need, id}, segments.size() - 1, stream});
        return have == need ? Step::Next : Step::Cut;
    }

    // The chunk at cursor, by its id: a data chunk, a segment's closing index, "idx1" or the next
    // segment. Anything else no crash of the writer leaves behind.
    Step walkChunk() {
        if (scan.fileSize - cursor < kChunkHeaderSize) {
            add(TailPiece::Kind::ChunkHeader, kChunkHeaderSize, 0, 0);
            return Step::Cut;
        }
        std::array<uint8_t, kChunkHeaderSize> b{};
        if (!readAt(cursor, b.data(), kChunkHeaderSize)) {
            return broken("cannot read byte " + std::to_string(cursor));
        }
        LittleEndianReader in(b);
        const uint32_t id = in.get32();
        const uint32_t size = in.get32();
        const uint64_t whole = chunkFootprint(size);
        const std::string where = quoted(id) + " at byte " + std::to_string(cursor);
        Step step = Step::Next;
        if (const int s = streamOf(id, false); s >= 0) {
            if (phase != Phase::Data) {
                return broken("data chunk " + where + " after its indexes");
            }
            if (scan.fileSize - cursor < kChunkHeaderSize + size) {
                add(TailPiece::Kind::DataChunk, whole, id, static_cast<uint32_t>(s));
                return Step::Cut;
            }
            segments.back().chunks.push_back({cursor, size, static_cast<uint32_t>(s)});
        } else if (const int x = streamOf(id, true); x >= 0 && phase != Phase::Closed) {
            phase = Phase::Indexes;
            step = add(TailPiece::Kind::StandardIndex, whole, id, static_cast<uint32_t>(x));
        } else if (id == kIdx1 && segments.size() == 1 && phase != Phase::Closed) {
            phase = Phase::Closed;
            step = add(TailPiece::Kind::OldIndex, whole, id, 0);
        } else if (id == kRiffId &&
                   phase == (segments.size() == 1 ? Phase::Closed : Phase::Indexes)) {
            return segmentStart();
        } else {
            return broken("unexpected chunk " + where);
        }
        if (step == Step::Next) {
            cursor += whole;
        }
        return step;
    }

    // A RIFF "AVIX" with its LIST "movi" opens the next segment.
    Step segmentStart() {
        segments.push_back(ScannedSegment{cursor, cursor + kListHeaderSize, {}, {}});
        if (add(TailPiece::Kind::SegmentHeader, kSegmentHeader, 0, 0) != Step::Next) {
            return Step::Cut;
        }
        std::array<uint8_t, kSegmentHeader> b{};
        if (!readAt(cursor, b.data(), kSegmentHeader)) {
            return broken("cannot read byte " + std::to_string(cursor));
        }
        LittleEndianReader seg(b);
        (void)seg.get64();
        const uint32_t form = seg.get32();
        const uint32_t list = seg.get32();
        (void)seg.get32();
        if (form != fourCC("AVIX") || list != kListId || seg.get32() != fourCC("movi")) {
            return broken("the segment at byte " + std::to_string(cursor) + " is not RIFF 'AVIX'");
        }
        cursor += kSegmentHeader;
        phase = Phase::Data;
        return Step::Next;
    }

    // Keeps the segments up to the last one with a complete chunk; what follows it is the tail.
    void keep() {
        size_t last = segments.size() - 1;
        while (last > 0 && segments[last].chunks.empty()) {
            --last;
        }
        segments.resize(last + 1);
        const ScannedSegment& tip = segments.back();
        if (tip.chunks.empty()) {
            scan.dataEnd = tip.moviStart + kListHeaderSize;
        } else {
            const ScannedChunk& c = tip.chunks.back();
            scan.dataEnd = c.pos + chunkFootprint(c.size);
        }
        scan.padMissing = scan.dataEnd > scan.fileSize;
        for (const Found& f : found) {
            if (f.piece.pos >= scan.dataEnd) {
                scan.tail.push_back(f.piece);
            } else if (f.piece.kind == TailPiece::Kind::StandardIndex) {
                segments[f.segment].indexes.push_back({f.piece.pos, f.stream});
            }
        }
        // A segment that a later one follows was closed by the writer: one index per stream that
        // has chunks in it, in stream order, and in the first segment "idx1".
        for (size_t i = 0; i + 1 < segments.size(); ++i) {
            std::vector<uint32_t> streams;
            for (const ScannedChunk& c : segments[i].chunks) {
                bool seen = false;
                for (uint32_t s : streams) seen = seen || s == c.stream;
                if (!seen) streams.push_back(c.stream);
            }
            std::sort(streams.begin(), streams.end());
            std::vector<uint32_t> indexed;
            for (const ScannedIndex& x : segments[i].indexes) indexed.push_back(x.stream);
            if (indexed != streams) {
                fail(AviScan::Verdict::Broken, "segment " + std::to_string(i + 1) +
                                                   " was closed without the indexes of its chunks");
                return;
            }
        }
        scan.segments = std::move(segments);
        scan.verdict = AviScan::Verdict::Ours;
    }

    fileio::File& file;
    AviScan scan;
    std::vector<uint32_t> chunkIds;
    std::vector<uint32_t> indexIds;
    std::string listSizeMismatch;
    // The walk's state: where it is, in which phase of a segment, what it has found.
    uint64_t cursor = 0;
    Phase phase = Phase::Data;
    std::vector<ScannedSegment> segments;
    std::vector<Found> found;  // every structure but the complete data chunks
};

}  // namespace

std::vector<uint64_t> AviScan::chunksPerStream() const {
    std::vector<uint64_t> counts(streams.size());
    for (const ScannedSegment& s : segments) {
        for (const ScannedChunk& c : s.chunks) {
            ++counts[c.stream];
        }
    }
    return counts;
}

AviScan scanAvi(fileio::File& file) {
    return Scanner(file).run();
}
