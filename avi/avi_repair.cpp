#include "avi/avi_repair.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "avi/avi_writer.h"
#include "avi/riff_layout.h"
#include "fileio/errors.h"

namespace {

// Whether [pos, pos + size) reaches into a kept data chunk, header or payload.
bool touchesData(const AviScan& scan, uint64_t pos, uint64_t size) {
    for (const ScannedSegment& segment : scan.segments) {
        const auto& chunks = segment.chunks;
        auto it =
            std::upper_bound(chunks.begin(), chunks.end(), pos + size,
                             [](uint64_t end, const ScannedChunk& c) { return end <= c.pos; });
        if (it != chunks.begin() &&
            std::prev(it)->pos + kChunkHeaderSize + std::prev(it)->size > pos) {
            return true;
        }
    }
    return false;
}

bool onDisk(fileio::File& file, AviRepairPlan& plan, const WriteRecorder::Write& w) {
    if (w.pos + w.bytes.size() > plan.scan.fileSize || !file.seek(w.pos)) {
        return false;
    }
    std::vector<uint8_t> stored(w.bytes.size());
    const size_t got = file.read(stored.data(), stored.size());
    plan.scan.bytesRead += got;
    return got == stored.size() && stored == w.bytes;
}

}  // namespace

AviRepairPlan planAviRepair(fileio::File& file) {
    AviRepairPlan plan;
    plan.scan = scanAvi(file);
    const AviScan& scan = plan.scan;
    if (scan.verdict != AviScan::Verdict::Ours) {
        return plan;
    }
    // The writer keeps the largest chunk in these; a copy cut from a finished file holds the
    // whole file's, so they are counted again over the chunks kept.
    AviScan kept = scan;
    kept.mainHeader.dwSuggestedBufferSize = 0;
    for (ScannedStream& s : kept.streams) {
        s.header.dwSuggestedBufferSize = 0;
    }
    WriteRecorder recorder;
    {
        AviWriter writer(recorder);
        writer.resume(kept);
        writer.finalize();
    }
    // Finalisation writes the super index entries in use; the copy may hold more behind them.
    for (const ScannedStream& s : scan.streams) {
        uint64_t used = 0;
        for (const WriteRecorder::Write& w : recorder.writes) {
            if (static_cast<int64_t>(w.pos) == s.indxPos) used = w.bytes.size();
        }
        if (s.indxPos >= 0 && used < s.indxSize) {
            recorder.writes.push_back(WriteRecorder::Write{
                static_cast<uint64_t>(s.indxPos) + used, std::vector<uint8_t>(s.indxSize - used)});
        }
    }
    // Closing leaves a list size alone that is still the 4 it was opened with; a copy cut from a
    // finished file holds the finished size there instead.
    const ScannedSegment& open = scan.segments.back();
    for (const uint64_t sizeAt : {open.riffStart + 4, open.moviStart + 4}) {
        const bool rewritten = std::any_of(recorder.writes.begin(), recorder.writes.end(),
                                           [&](const auto& w) { return w.pos == sizeAt; });
        if (!rewritten) {
            recorder.writes.push_back(WriteRecorder::Write{sizeAt, {4, 0, 0, 0}});
        }
    }
    if (scan.padMissing) {
        plan.tail.push_back(WriteRecorder::Write{scan.dataEnd - 1, {0}});
    }
    plan.finalSize = scan.dataEnd;
    for (WriteRecorder::Write& w : recorder.writes) {
        if (w.pos >= scan.dataEnd) {
            plan.finalSize = std::max(plan.finalSize, w.pos + w.bytes.size());
            plan.tail.push_back(std::move(w));
        } else if (touchesData(scan, w.pos, w.bytes.size())) {
            throw std::logic_error("planAviRepair: finalisation would write into chunk data at " +
                                   std::to_string(w.pos));
        } else {
            plan.patches.push_back(std::move(w));
        }
    }
    std::stable_sort(plan.patches.begin(), plan.patches.end(),
                     [](const auto& a, const auto& b) { return a.pos > b.pos; });

    plan.needed = scan.fileSize != plan.finalSize;
    for (const auto* part : {&plan.tail, &plan.patches}) {
        for (const WriteRecorder::Write& w : *part) {
            plan.needed = plan.needed || !onDisk(file, plan, w);
        }
    }
    return plan;
}

void applyAviRepair(fileio::PlatformFile& file, const AviRepairPlan& plan) {
    if (plan.scan.verdict != AviScan::Verdict::Ours) {
        throw std::logic_error("applyAviRepair: the scan found no file of this writer");
    }
    if (!file.setSize(plan.scan.dataEnd)) {
        throw fileio::Error("cannot cut the file at byte " + std::to_string(plan.scan.dataEnd));
    }
    for (const auto* part : {&plan.tail, &plan.patches}) {
        for (const WriteRecorder::Write& w : *part) {
            const size_t written =
                file.writeAt(w.bytes.data(), w.bytes.size(), static_cast<int64_t>(w.pos));
            if (written != w.bytes.size()) {
                throw fileio::WriteAtError(static_cast<int64_t>(w.pos), w.bytes.size(), written);
            }
        }
    }
}
