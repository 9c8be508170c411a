#include "avi/avi_writer.h"
#include "avi/riff_layout.h"

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>
#include <string>

#include "avi/chunk_scope.h"
#include "avi/four_cc.h"
#include "fileio/errors.h"

namespace {

constexpr uint32_t kAvi = fourCC("AVI ");
constexpr uint32_t kAvix = fourCC("AVIX");
constexpr uint32_t kMovi = fourCC("movi");
constexpr uint32_t kVids = fourCC("vids");
// A new segment starts with a RIFF and a LIST "movi" header.
constexpr uint64_t kSegmentStartBytes = 24;
// Entries serialised per write when "idx1" is laid out.
constexpr size_t kOldIndexBlock = 4096;

uint32_t saturate32(uint64_t value) {
    return static_cast<uint32_t>(std::min<uint64_t>(value, std::numeric_limits<uint32_t>::max()));
}

// A size as a reader would write it: in the largest binary unit that divides it, else in bytes.
std::string sizeText(uint64_t bytes) {
    static constexpr std::array<const char*, 6> kUnits = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    const char* unit = nullptr;
    for (const char* next : kUnits) {
        if (bytes == 0 || bytes % 1024 != 0) break;
        bytes /= 1024;
        unit = next;
    }
    return std::to_string(bytes) + " " + (unit ? unit : "bytes");
}

std::logic_error pastFileLimit(uint64_t maxFileSize) {
    return std::logic_error("AviWriter::writeChunk: the chunk would take the file past " +
                            sizeText(maxFileSize));
}

}  // namespace

AviWriter::AviWriter(fileio::File& file, const AviLimits& limits)
    : file(file),
      riff(file),
      maxFileSize(limits.maxFileSize),
      firstRiffLimit(limits.firstRiff),
      avixLimit(limits.avix),
      scratch(256) {
    mainHeader.dwFlags = AviMainHeader::kHasIndex;
}

AviWriter::~AviWriter() {
    try {
        finalize();
    } catch (...) {
        // A destructor has nobody to report to; Close reports through finalize itself.
    }
}

size_t AviWriter::addStream(uint32_t fccType) {
    // avihPos stays set after finalize, so a finished file refuses streams too.
    if (headerWritten || avihPos >= 0) {
        throw std::logic_error(
            "AviWriter::addStream: the header is already written, streams must be added before "
            "writeHeader()");
    }
    if (streams.size() >= kMaxStreams) {
        throw std::logic_error("AviWriter::addStream: too many streams, at most 100 are supported");
    }
    const size_t index = streams.size();
    streams.push_back(std::make_unique<AviStream>(index, fccType));
    ++mainHeader.dwStreams;
    return index;
}

AviStream& AviWriter::stream(size_t index) {
    if (index >= streams.size()) {
        throw std::out_of_range("invalid vector subscript");
    }
    return *streams[index];
}

uint64_t AviWriter::superIndexCapacity() const {
    if (maxFileSize <= firstRiffLimit) {
        return 1;
    }
    return (maxFileSize - firstRiffLimit + avixLimit - 1) / avixLimit + 1;
}

void AviWriter::writeExact(const void* data, size_t size) {
    const size_t written = riff.write(data, size);
    if (written != size) {
        throw fileio::WriteError(size, written);
    }
}

int64_t AviWriter::writeWholeChunk(uint32_t id, const uint8_t* data, size_t size) {
    ChunkScope scope(riff.openChunk(id, static_cast<uint32_t>(size), false, 0));
    writeExact(data, size);
    return static_cast<int64_t>(scope.close().offset + kChunkHeaderSize);
}

void AviWriter::writeHeader() {
    if (headerWritten) {
        throw std::logic_error("AviWriter::writeHeader: already called, header is already written");
    }
    riffStart = file.tell();
    riff.openChunk(kRiffId, 4, true, kAvi);  // stays open across calls
    firstRiff = true;
    {
        ChunkScope hdrl(riff.openChunk(kListId, 4, true, fourCC("hdrl")));
        scratch.clear();
        mainHeader.serialize(scratch);
        avihPos = writeWholeChunk(fourCC("avih"), scratch.data(), scratch.size());

        const uint64_t indxSize =
            SuperIndexHeader::kSize + SuperIndexEntry::kSize * superIndexCapacity();
        const std::vector<uint8_t> zeros(indxSize);
        for (const auto& s : streams) {
            ChunkScope strl(riff.openChunk(kListId, 4, true, fourCC("strl")));
            scratch.clear();
            s->header.serialize(scratch);
            s->strhPos = writeWholeChunk(fourCC("strh"), scratch.data(), scratch.size());
            (void)writeWholeChunk(fourCC("strf"), s->format.data(), s->format.size());
            s->indxSize = indxSize;
            s->indxPos = writeWholeChunk(fourCC("indx"), zeros.data(), zeros.size());
            strl.close();
        }

        ChunkScope odml(riff.openChunk(kListId, 4, true, fourCC("odml")));
        scratch.clear();
        odmlHeader.serialize(scratch);
        dmlhPos = writeWholeChunk(fourCC("dmlh"), scratch.data(), scratch.size());
        odml.close();
        hdrl.close();
    }
    moviStart = file.tell();
    riff.openChunk(kListId, 4, true, kMovi);  // stays open across calls
    headerWritten = true;
}

uint64_t AviWriter::closingBytes() const {
    uint64_t tail = StdIndexEntry::kSize;
    for (const auto& s : streams) {
        tail += StdIndexHeader::kSize + kChunkHeaderSize + StdIndexEntry::kSize * s->pending.size();
    }
    if (firstRiff) {
        tail += OldIndexEntry::kSize * oldIndex.size() + OldIndexEntry::kSize + kChunkHeaderSize;
    }
    return tail;
}

void AviWriter::writeChunk(size_t streamIndex, const void* data, uint64_t size, uint32_t duration,
                           bool keyFrame) {
    if (!headerWritten) {
        throw std::logic_error(
            "AviWriter::writeChunk: header is not written, writeHeader() must be called first");
    }
    if (size > maxFileSize) {
        throw pastFileLimit(maxFileSize);
    }

    const uint64_t pos = file.tell();
    const uint64_t used = pos - riffStart;
    const uint64_t chunkBytes = chunkFootprint(size);
    const uint64_t tail = closingBytes();
    const uint64_t limit = firstRiff ? firstRiffLimit : avixLimit;
    const bool rollover = used + tail + chunkBytes > limit;

    // Refused before anything is written, so the file stays finalizable.
    const uint64_t end = pos + chunkBytes + tail + (rollover ? tail + kSegmentStartBytes : 0);
    if (pos > maxFileSize || end > maxFileSize) {
        throw pastFileLimit(maxFileSize);
    }
    // A bad index is reported only after a due rollover; the guard just skips it.
    if (streamIndex < streams.size()) {
        const AviStream& target = *streams[streamIndex];
        const uint64_t entries =
            target.superIndexEntries.size() + 1 + (rollover && !target.pending.empty() ? 1 : 0);
        if (entries > superIndexCapacity()) {
            throw std::logic_error(
                "AviWriter::writeChunk: the stream's super index is full, no further segment "
                "fits");
        }
    }

    if (rollover) {
        (void)closeSegment(false);
        riffStart = file.tell();
        riff.openChunk(kRiffId, 4, true, kAvix);
        firstRiff = false;
        moviStart = file.tell();
        riff.openChunk(kListId, 4, true, kMovi);
    }

    AviStream& s = stream(streamIndex);
    const auto size32 = static_cast<uint32_t>(size);
    // A null payload goes to the system as it is, which refuses it: the chunk is closed at what
    // was written, like any short write.
    const uint64_t chunkPos = file.tell();
    {
        ChunkScope scope(riff.openChunk(s.chunkId(), size32, false, 0));
        writeExact(data, size32);
        scope.close();
    }

    recordChunk(s, chunkPos, size, duration, keyFrame);
}

void AviWriter::recordChunk(AviStream& s, uint64_t chunkPos, uint64_t size, uint32_t duration,
                            bool keyFrame) {
    const auto size32 = static_cast<uint32_t>(size);
    s.pending.push_back(PendingChunk{chunkPos + kChunkHeaderSize, size32, duration, keyFrame});
    s.header.dwLength += duration;
    s.header.dwSuggestedBufferSize = std::max(s.header.dwSuggestedBufferSize, saturate32(size));
    if (firstRiff) {
        oldIndex.push_back(OldIndexEntry{
            s.chunkId(), keyFrame ? OldIndexEntry::kKeyFrame : 0,
            static_cast<uint32_t>(chunkPos - (moviStart + kChunkHeaderSize)), size32});
    }
    const uint64_t chunkBytes = chunkFootprint(size);
    mainHeader.dwSuggestedBufferSize =
        std::max(mainHeader.dwSuggestedBufferSize, saturate32(chunkBytes));
}

void AviWriter::closeMovi() {
    const RiffChunk* top = riff.current();
    if (top == nullptr || top->id != kListId || top->listType != kMovi) {
        return;
    }
    ChunkScope movi(riff);
    for (const auto& s : streams) {
        if (s->pending.empty()) {
            continue;
        }
        const uint64_t ixPos = file.tell();
        const StandardIndex& ix = s->buildStandardIndex(moviStart, ixPos);
        scratch.clear();
        ix.serialize(scratch);
        ChunkScope chunk(
            riff.openChunk(s->indexChunkId(), static_cast<uint32_t>(scratch.size()), false, 0));
        writeExact(scratch.data(), scratch.size());
        chunk.close();
    }
    movi.close();
}

void AviWriter::closeRiff() {
    const RiffChunk* top = riff.current();
    if (top == nullptr || top->id != kRiffId || (top->listType != kAvi && top->listType != kAvix)) {
        return;
    }
    ChunkScope segment(riff);
    if (firstRiff) {
        const size_t total = OldIndexEntry::kSize * oldIndex.size();
        ChunkScope idx1(riff.openChunk(fourCC("idx1"), static_cast<uint32_t>(total), false, 0));
        size_t done = 0;
        for (size_t first = 0; first < oldIndex.size(); first += kOldIndexBlock) {
            const size_t last = std::min(oldIndex.size(), first + kOldIndexBlock);
            scratch.clear();
            for (size_t i = first; i < last; ++i) {
                oldIndex[i].serialize(scratch);
            }
            const size_t written = riff.write(scratch.data(), scratch.size());
            done += written;
            if (written != scratch.size()) {
                throw fileio::WriteError(total, done);
            }
        }
        idx1.close();
        mainHeader.dwTotalFrames = videoFrames();
    }
    segment.close();
}

bool AviWriter::closeSegment(bool swallowErrors) {
    bool failed = false;
    for (void (AviWriter::*phase)() : {&AviWriter::closeMovi, &AviWriter::closeRiff}) {
        if (!swallowErrors) {
            (this->*phase)();
            continue;
        }
        try {
            (this->*phase)();
        } catch (...) {
            failed = true;
        }
    }
    return failed;
}

uint32_t AviWriter::videoFrames() const {
    uint32_t frames = 0;
    for (const auto& s : streams) {
        if (s->header.fccType == kVids) {
            frames = std::max(frames, s->header.dwLength);
        }
    }
    return frames;
}

bool AviWriter::patch(int64_t pos, const uint8_t* data, size_t size) {
    if (pos < 0) {
        return true;
    }
    try {
        return file.writeAt(data, size, pos) == size;
    } catch (...) {
        return false;
    }
}

void AviWriter::finalize() {
    bool failed = closeSegment(true);
    if (!headerWritten) {
        return;
    }
    headerWritten = false;
    odmlHeader.dwTotalFrames = videoFrames();

    scratch.clear();
    mainHeader.serialize(scratch);
    failed = !patch(avihPos, scratch.data(), scratch.size()) || failed;
    scratch.clear();
    odmlHeader.serialize(scratch);
    failed = !patch(dmlhPos, scratch.data(), scratch.size()) || failed;

    for (const auto& s : streams) {
        scratch.clear();
        s->header.serialize(scratch);
        failed = !patch(s->strhPos, scratch.data(), scratch.size()) || failed;

        scratch.clear();
        s->superIndexHeader.serialize(scratch);
        for (const SuperIndexEntry& e : s->superIndexEntries) {
            e.serialize(scratch);
        }
        // writeChunk keeps the entries within the reserved space; the bound is only a guard.
        const auto fits = static_cast<size_t>(std::min<uint64_t>(scratch.size(), s->indxSize));
        failed = !patch(s->indxPos, scratch.data(), fits) || failed;
    }
    if (failed) {
        throw fileio::Error("AviWriter::finalize: failed to correctly finalize avi");
    }
}
