#include "avi/avi_scan.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "avi/avi_index.h"
#include "avi/avi_stream.h"
#include "avi/four_cc.h"
#include "avi/little_endian_reader.h"

namespace {

constexpr uint32_t kRiff = fourCC("RIFF");
constexpr uint32_t kList = fourCC("LIST");
constexpr uint32_t kIdx1 = fourCC("idx1");
constexpr uint64_t kListHeader = 12;
constexpr uint64_t kChunkHeader = 8;
// RIFF "AVIX" and LIST "movi" headers.
constexpr uint64_t kSegmentHeader = 24;

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

uint64_t padded(uint64_t size) {
    return size + (size & 1);
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
        const uint64_t need = list ? kListHeader : kChunkHeader;
        std::array<uint8_t, kListHeader> b{};
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
                            " at byte " + std::to_string(idWrong ? pos : pos + 8) +
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
        if (!expect(0, "RIFF", "AVI ", riff) || !expect(12, "LIST", "hdrl", hdrl) ||
            !expect(24, "avih", "", avih) || !sized(avih, AviMainHeader::kSize, 24)) {
            return false;
        }
        std::vector<uint8_t> bytes;
        if (!payload(32, AviMainHeader::kSize, bytes)) {
            return false;
        }
        LittleEndianReader in(bytes);
        scan.mainHeader = AviMainHeader::parse(in);
        scan.avihPos = 32;
        if (scan.mainHeader.dwStreams > 100) {
            return fail(AviScan::Verdict::NotOurs, "more streams than this writer writes");
        }
        uint64_t pos = 32 + AviMainHeader::kSize;
        for (uint32_t i = 0; i < scan.mainHeader.dwStreams; ++i) {
            if (!readStreamList(pos)) {
                return false;
            }
        }
        ChunkHead odml, dmlh, movi;
        if (!expect(pos, "LIST", "odml", odml) ||
            !sized(odml, 4 + kChunkHeader + OdmlHeader::kSize, pos) ||
            !expect(pos + kListHeader, "dmlh", "", dmlh) ||
            !sized(dmlh, OdmlHeader::kSize, pos + kListHeader)) {
            return false;
        }
        scan.dmlhPos = static_cast<int64_t>(pos + kListHeader + kChunkHeader);
        pos += kListHeader + kChunkHeader + OdmlHeader::kSize;
        if (!sized(hdrl, pos - 20, 12) || !expect(pos, "LIST", "movi", movi)) {
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
        if (!expect(pos, "LIST", "strl", strl) || !expect(pos + 12, "strh", "", strh) ||
            !sized(strh, AviStreamHeader::kSize, pos + 12)) {
            return false;
        }
        ScannedStream& s = scan.streams.emplace_back();
        std::vector<uint8_t> bytes;
        if (!payload(pos + 20, AviStreamHeader::kSize, bytes)) {
            return false;
        }
        LittleEndianReader in(bytes);
        s.header = AviStreamHeader::parse(in);
        s.strhPos = static_cast<int64_t>(pos + 20);
        pos += 20 + AviStreamHeader::kSize;
        if (!expect(pos, "strf", "", strf) || !payload(pos + 8, strf.size, s.format)) {
            return false;
        }
        pos += kChunkHeader + padded(strf.size);
        if (!expect(pos, "indx", "", indx)) {
            return false;
        }
        if (indx.size < SuperIndexHeader::kSize ||
            (indx.size - SuperIndexHeader::kSize) % SuperIndexEntry::kSize != 0) {
            return fail(AviScan::Verdict::NotOurs, "'indx' at byte " + std::to_string(pos) +
                                                       " is not sized as this writer sizes it");
        }
        s.indxPos = static_cast<int64_t>(pos + kChunkHeader);
        s.indxSize = indx.size;
        pos += kChunkHeader + indx.size;
        return sized(strl, pos - start - 8, start);
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

    void walk() {
        for (size_t i = 0; i < scan.streams.size(); ++i) {
            const AviStream s(i, scan.streams[i].header.fccType);
            chunkIds.push_back(s.chunkId());
            indexIds.push_back(s.indexChunkId());
        }
        uint64_t pos = scan.segments.front().moviStart + kListHeader;
        Phase phase = Phase::Data;
        std::vector<ScannedSegment> segments = std::move(scan.segments);
        std::vector<Found> found;  // every structure but the complete data chunks
        const auto add = [&](TailPiece::Kind kind, uint64_t at, uint64_t need, uint32_t id,
                             uint32_t stream) {
            const uint64_t have = std::min(need, scan.fileSize - at);
            found.push_back({TailPiece{kind, at, have, need, id}, segments.size() - 1, stream});
            return have == need;
        };
        while (pos < scan.fileSize) {
            std::array<uint8_t, kSegmentHeader> b{};
            if (scan.fileSize - pos < kChunkHeader) {
                add(TailPiece::Kind::ChunkHeader, pos, kChunkHeader, 0, 0);
                break;
            }
            if (!readAt(pos, b.data(), kChunkHeader)) {
                fail(AviScan::Verdict::Broken, "cannot read byte " + std::to_string(pos));
                return;
            }
            LittleEndianReader in(b);
            const uint32_t id = in.get32();
            const uint32_t size = in.get32();
            const uint64_t whole = kChunkHeader + padded(size);
            const std::string where = quoted(id) + " at byte " + std::to_string(pos);
            if (const int s = streamOf(id, false); s >= 0) {
                if (phase != Phase::Data) {
                    fail(AviScan::Verdict::Broken, "data chunk " + where + " after its indexes");
                    return;
                }
                if (scan.fileSize - pos < kChunkHeader + size) {
                    add(TailPiece::Kind::DataChunk, pos, whole, id, static_cast<uint32_t>(s));
                    break;
                }
                segments.back().chunks.push_back({pos, size, static_cast<uint32_t>(s)});
                pos += whole;
            } else if (const int x = streamOf(id, true); x >= 0 && phase != Phase::Closed) {
                phase = Phase::Indexes;
                if (!add(TailPiece::Kind::StandardIndex, pos, whole, id,
                         static_cast<uint32_t>(x))) {
                    break;
                }
                pos += whole;
            } else if (id == kIdx1 && segments.size() == 1 && phase != Phase::Closed) {
                phase = Phase::Closed;
                if (!add(TailPiece::Kind::OldIndex, pos, whole, id, 0)) {
                    break;
                }
                pos += whole;
            } else if (id == kRiff &&
                       phase == (segments.size() == 1 ? Phase::Closed : Phase::Indexes)) {
                segments.push_back(ScannedSegment{pos, pos + kListHeader, {}, {}});
                if (!add(TailPiece::Kind::SegmentHeader, pos, kSegmentHeader, 0, 0)) {
                    break;
                }
                if (!readAt(pos, b.data(), kSegmentHeader)) {
                    fail(AviScan::Verdict::Broken, "cannot read byte " + std::to_string(pos));
                    return;
                }
                LittleEndianReader seg(b);
                (void)seg.get64();
                const uint32_t form = seg.get32();
                const uint32_t list = seg.get32();
                (void)seg.get32();
                if (form != fourCC("AVIX") || list != kList || seg.get32() != fourCC("movi")) {
                    fail(AviScan::Verdict::Broken,
                         "the segment at byte " + std::to_string(pos) + " is not RIFF 'AVIX'");
                    return;
                }
                pos += kSegmentHeader;
                phase = Phase::Data;
            } else {
                fail(AviScan::Verdict::Broken, "unexpected chunk " + where);
                return;
            }
        }
        keep(std::move(segments), found);
    }

    // Keeps the segments up to the last one with a complete chunk; what follows it is the tail.
    void keep(std::vector<ScannedSegment> segments, const std::vector<Found>& found) {
        size_t last = segments.size() - 1;
        while (last > 0 && segments[last].chunks.empty()) {
            --last;
        }
        segments.resize(last + 1);
        const ScannedSegment& tip = segments.back();
        if (tip.chunks.empty()) {
            scan.dataEnd = tip.moviStart + kListHeader;
        } else {
            const ScannedChunk& c = tip.chunks.back();
            scan.dataEnd = c.pos + kChunkHeader + padded(c.size);
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
