#include "avi/avi_repair.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "avi/avi_writer.h"
#include "fileio/errors.h"

namespace {

// Whether [pos, pos + size) reaches into a kept data chunk, header or payload.
bool touchesData(const AviScan& scan, uint64_t pos, uint64_t size) {
    for (const ScannedSegment& segment : scan.segments) {
        const auto& chunks = segment.chunks;
        auto it =
            std::upper_bound(chunks.begin(), chunks.end(), pos + size,
                             [](uint64_t end, const ScannedChunk& c) { return end <= c.pos; });
        if (it != chunks.begin() && std::prev(it)->pos + 8 + std::prev(it)->size > pos) {
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
    WriteRecorder recorder;
    {
        AviWriter writer(recorder);
        writer.resume(scan);
        writer.finalize();
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
