#include "platform/iohost/picture/verified_repair.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "avi/four_cc.h"
#include "fileio/errors.h"
#include "platform/iohost/files/input_error.h"
#include "platform/iohost/picture/library_decoder.h"

namespace iohost {

namespace {

constexpr uint64_t kNoCut = UINT64_MAX;

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

// The file as though it ended at `end`: what a plan of the frames before a bad one reads.
class CutView final : public fileio::File {
public:
    CutView(fileio::File& file, uint64_t end) : m_file(file), m_end(end) {}

    [[nodiscard]] bool open(const char*, uint32_t) override { return false; }
    void close() override {}
    [[nodiscard]] int64_t size() override {
        return std::min(m_file.size(), static_cast<int64_t>(m_end));
    }
    [[nodiscard]] uint64_t tell() override { return m_pos; }
    [[nodiscard]] bool seek(uint64_t offset) override {
        m_pos = offset;
        return m_file.seek(offset);
    }
    [[nodiscard]] size_t read(void* buffer, size_t count) override {
        const uint64_t room = m_pos < m_end ? m_end - m_pos : 0;
        const size_t got =
            m_file.read(buffer, static_cast<size_t>(std::min<uint64_t>(count, room)));
        m_pos += got;
        return got;
    }
    [[nodiscard]] size_t write(const void*, size_t) override { return 0; }

private:
    fileio::File& m_file;
    uint64_t m_end;
    uint64_t m_pos = 0;
};

// Decodes the chunks of one video stream.
class StreamCheck {
public:
    StreamCheck(const ScannedStream& stream, size_t index) : m_index(index) {
        const std::vector<uint8_t>& f = stream.format;
        if (f.size() < 40) throw InputError("its format is too short");
        const uint32_t compression = Le32(f.data() + 16);
        std::string tag;
        for (int i = 0; i < 4; ++i) tag.push_back(static_cast<char>(compression >> (8 * i)));
        const auto width = static_cast<int32_t>(Le32(f.data() + 4));
        const auto height = static_cast<int32_t>(Le32(f.data() + 8));
        if (width <= 0 || height == 0) throw InputError("it has a bad frame size");
        m_decoder = std::make_unique<LibraryDecoder>(
            std::span(f).subspan(40), static_cast<uint32_t>(width),
            static_cast<uint32_t>(height < 0 ? -static_cast<int64_t>(height) : height), 0, tag);
        m_frame.resize(static_cast<size_t>(m_decoder->frameBytes()));
    }

    [[nodiscard]] size_t index() const { return m_index; }

    // Empty when the chunk decodes, else why not.
    [[nodiscard]] std::string check(fileio::File& file, const ScannedChunk& chunk) {
        m_packet.resize(chunk.size);
        if (!file.seek(chunk.pos + 8) || file.read(m_packet.data(), chunk.size) != chunk.size)
            throw fileio::Error("cannot read the chunk at byte " + std::to_string(chunk.pos));
        return m_decoder->decode(m_packet, m_frame.data());
    }

private:
    size_t m_index;
    std::unique_ptr<LibraryDecoder> m_decoder;
    std::vector<uint8_t> m_packet, m_frame;
};

// Where the first chunk lies that is the last of a video stream before it and does not decode;
// kNoCut when there is none.
uint64_t FirstUndecodable(fileio::File& file, const AviScan& scan, std::string& note) {
    std::vector<std::vector<const ScannedChunk*>> chunks(scan.streams.size());
    for (const ScannedSegment& segment : scan.segments)
        for (const ScannedChunk& c : segment.chunks) chunks[c.stream].push_back(&c);
    std::vector<StreamCheck> checks;
    for (size_t i = 0; i < scan.streams.size(); ++i) {
        if (scan.streams[i].header.fccType != fourCC("vids") || chunks[i].empty()) continue;
        try {
            checks.emplace_back(scan.streams[i], i);
        } catch (const InputError& e) {
            throw InputError("the frames of stream " + std::to_string(i) +
                             " cannot be checked: " + e.what());
        }
    }
    // Dropping one stream's chunk drops the others' after it: their new last ones are checked too.
    uint64_t cut = kNoCut;
    std::vector<size_t> good(scan.streams.size(), SIZE_MAX);
    for (bool again = true; again;) {
        again = false;
        for (StreamCheck& check : checks) {
            const auto& list = chunks[check.index()];
            const auto last = std::partition_point(
                list.begin(), list.end(), [&](const ScannedChunk* c) { return c->pos < cut; });
            if (last == list.begin()) continue;
            const auto frame = static_cast<size_t>(last - list.begin()) - 1;
            if (good[check.index()] == frame) continue;
            const std::string why = check.check(file, *list[frame]);
            if (why.empty()) {
                good[check.index()] = frame;
                continue;
            }
            cut = list[frame]->pos;
            note = "frame " + std::to_string(frame) + " of stream " +
                   std::to_string(check.index()) + " (the chunk at byte " + std::to_string(cut) +
                   ") does not decode: " + why;
            again = true;
        }
    }
    return cut;
}

}  // namespace

AviRepairPlan PlanVerifiedRepair(fileio::File& file, std::string& note) {
    note.clear();
    AviRepairPlan plan = planAviRepair(file);
    if (plan.scan.verdict != AviScan::Verdict::Ours) return plan;
    const uint64_t cut = FirstUndecodable(file, plan.scan, note);
    if (cut == kNoCut) return plan;
    const uint64_t size = plan.scan.fileSize;
    const uint64_t read = plan.scan.bytesRead;
    CutView view(file, cut);
    plan = planAviRepair(view);
    plan.scan.fileSize = size;
    plan.scan.bytesRead += read;
    plan.needed = true;
    return plan;
}

bool RepairInPlace(fileio::PlatformFile& file, std::string& note) {
    const AviRepairPlan plan = PlanVerifiedRepair(file, note);
    if (plan.scan.verdict != AviScan::Verdict::Ours) {
        note = plan.scan.reason;
        return false;
    }
    if (!plan.needed) return false;
    applyAviRepair(file, plan);
    return true;
}

}  // namespace iohost
