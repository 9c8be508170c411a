#include "avi/riff_writer.h"
#include "avi/riff_layout.h"

#include <cstdio>

#include "avi/four_cc.h"
#include "fileio/errors.h"

namespace {}  // namespace

RiffWriter::RiffWriter(fileio::File& file) : file(file), scratch(12) {
    chunks.reserve(8);
}

RiffWriter::~RiffWriter() {
    closeAll();
}

RiffWriter& RiffWriter::openChunk(uint32_t id, uint32_t size, bool isList, uint32_t listType) {
    const uint64_t offset = file.tell();
    scratch.clear();
    scratch.putFourCC(id);
    scratch.put32(size);
    if (isList) {
        scratch.putFourCC(listType);
    }
    const size_t written = file.write(scratch.data(), scratch.size());
    if (written != scratch.size()) {
        throw fileio::WriteError(scratch.size(), written);
    }
    chunks.push_back(
        RiffChunk{id, size, isList ? listType : 0, offset, static_cast<uint32_t>(scratch.size())});
    return *this;
}

size_t RiffWriter::write(const void* buffer, size_t count) {
    const size_t written = file.write(buffer, count);
    if (!chunks.empty()) {
        chunks.back().written += static_cast<uint32_t>(written);
    }
    return written;
}

ChunkInfo RiffWriter::closeChunk() {
    if (chunks.empty()) {
        return {};
    }
    RiffChunk chunk = chunks.back();
    chunks.pop_back();
    if (!chunks.empty()) {
        chunks.back().written += chunk.written;
    }
    bool failed = false;
    const uint32_t finalSize = chunk.written - 8;
    if (finalSize != chunk.size) {
        chunk.size = finalSize;
        scratch.clear();
        scratch.put32(finalSize);
        failed = file.writeAt(scratch.data(), 4, static_cast<int64_t>(chunk.offset + 4)) != 4;
    }
    if ((chunk.written & 1) != 0) {
        const uint8_t pad = 0;
        failed = (write(&pad, 1) != 1) || failed;
    }
    if (failed) {
        throw fileio::Error("Failed to close riff chunk: " + label(chunk));
    }
    return ChunkInfo{chunk.id, chunk.size, chunk.listType, chunk.offset};
}

void RiffWriter::closeAll() noexcept {
    while (!chunks.empty()) {
        try {
            (void)closeChunk();
        } catch (...) {
            // Clean-up after a failure that has already been reported.
        }
    }
}

void RiffWriter::resumeChunk(const RiffChunk& chunk) {
    chunks.push_back(chunk);
}

const RiffChunk* RiffWriter::current() const {
    return chunks.empty() ? nullptr : &chunks.back();
}

std::string RiffWriter::label(const RiffChunk& chunk) {
    const uint32_t named = (chunk.id == kRiffId || chunk.id == kListId) ? chunk.listType : chunk.id;
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<unsigned>((named >> (8 * i)) & 0xFF);
        if (byte >= 0x20 && byte <= 0x7E) {
            text.push_back(static_cast<char>(byte));
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "[%u]", byte);
            text += code;
        }
    }
    return text;
}
