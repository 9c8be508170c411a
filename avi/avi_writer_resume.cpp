#include <stdexcept>

#include "avi/avi_scan.h"
#include "avi/avi_writer.h"
#include "avi/four_cc.h"
#include "avi/riff_layout.h"

void AviWriter::resume(const AviScan& scan) {
    if (scan.verdict != AviScan::Verdict::Ours || scan.segments.empty()) {
        throw std::logic_error("AviWriter::resume: the scan found no file of this writer");
    }
    if (headerWritten || avihPos >= 0 || !streams.empty()) {
        throw std::logic_error("AviWriter::resume: the writer has already been used");
    }
    // What writeHeader found in memory: the caller's values. Lengths and frame counts start at 0
    // and grow with the chunks; the buffer sizes only ever grow, so stored ones may stay.
    mainHeader = scan.mainHeader;
    mainHeader.dwStreams = 0;
    mainHeader.dwTotalFrames = 0;
    for (const ScannedStream& found : scan.streams) {
        AviStream& s = stream(addStream(found.header.fccType));
        s.header = found.header;
        s.header.dwLength = 0;
        s.format = found.format;
        s.strhPos = found.strhPos;
        s.indxPos = found.indxPos;
        s.indxSize = found.indxSize;
    }
    avihPos = scan.avihPos;
    dmlhPos = scan.dmlhPos;

    for (size_t i = 0; i < scan.segments.size(); ++i) {
        const ScannedSegment& segment = scan.segments[i];
        riffStart = segment.riffStart;
        moviStart = segment.moviStart;
        firstRiff = i == 0;
        for (const ScannedChunk& c : segment.chunks) {
            AviStream& s = stream(c.stream);
            const bool video = s.header.fccType == fourCC("vids");
            const bool audio = s.header.fccType == fourCC("auds");
            const uint32_t sampleSize = s.header.dwSampleSize;
            const uint32_t duration = audio ? (sampleSize != 0 ? c.size / sampleSize : 0) : 1;
            recordChunk(s, c.pos, c.size, duration, video);
        }
        if (i + 1 == scan.segments.size()) {
            break;
        }
        // Closed on disk at a rollover: its indexes lie where the scan found them.
        for (const ScannedIndex& ix : segment.indexes) {
            (void)stream(ix.stream).buildStandardIndex(moviStart, ix.pos);
        }
        if (firstRiff) {
            mainHeader.dwTotalFrames = videoFrames();
        }
    }

    // The last segment is still open, as the writer leaves it between chunks.
    const uint32_t riffType = firstRiff ? fourCC("AVI ") : fourCC("AVIX");
    riff.resumeChunk(
        RiffChunk{kRiffId, 4, riffType, riffStart, static_cast<uint32_t>(moviStart - riffStart)});
    riff.resumeChunk(RiffChunk{kListId, 4, fourCC("movi"), moviStart,
                               static_cast<uint32_t>(scan.dataEnd - moviStart)});
    headerWritten = true;
    if (!file.seek(scan.dataEnd)) {
        throw std::logic_error("AviWriter::resume: cannot seek to the end of the last chunk");
    }
}
