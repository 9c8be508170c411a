#include "platform/avi_reader/avi_printer.h"

#include <cstdio>
#include <map>
#include <string>

#include "platform/avi_reader/fourcc.h"

namespace avireader {
namespace {

std::string quoted(uint32_t code) {
    // Appended piecewise: "'" + text + "'" trips a false -Wrestrict in GCC 12 at -O3.
    std::string text(1, '\'');
    text += fourccText(code);
    text += '\'';
    return text;
}

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", unsigned(value));
    return text;
}

void printMainHeader(const MainHeader& h, std::ostream& out) {
    out << ": " << h.microSecPerFrame << " us/frame, " << h.width << "x" << h.height << ", "
        << h.streams << " streams, " << h.totalFrames << " frames, flags " << hex(h.flags)
        << ", suggested buffer " << h.suggestedBufferSize;
}

void printStreamHeader(const StreamHeader& h, std::ostream& out) {
    out << ": " << quoted(h.type) << " " << quoted(h.handler) << ", rate " << h.rate << "/"
        << h.scale << ", start " << h.start << ", length " << h.length << ", sample size "
        << h.sampleSize << ", suggested buffer " << h.suggestedBufferSize << ", quality "
        << h.quality << ", frame " << h.frameLeft << "," << h.frameTop << "," << h.frameRight << ","
        << h.frameBottom;
}

void printFormat(const Stream& s, std::ostream& out) {
    if (s.video) {
        const BitmapInfo& v = *s.video;
        out << ": BITMAPINFOHEADER " << v.width << "x" << v.height << ", " << v.bitCount
            << " bits, " << quoted(v.compression) << ", biSize " << v.size << ", image "
            << v.sizeImage << " bytes, " << v.extra.size() << " private bytes";
    } else if (s.audio) {
        const WaveFormat& a = *s.audio;
        out << ": " << (a.extensible ? "WAVEFORMATEXTENSIBLE" : "WAVEFORMATEX") << " tag "
            << hex(a.formatTag) << ", " << a.channels << " channels, " << a.samplesPerSec << " Hz, "
            << a.bitsPerSample << " bits, block " << a.blockAlign << ", " << a.avgBytesPerSec
            << " bytes/s";
        if (a.extensible) {
            out << ", valid bits " << a.validBitsPerSample << ", mask " << hex(a.channelMask)
                << ", subformat " << hex(uint32_t(a.subFormat[0] | a.subFormat[1] << 8));
        }
    }
}

void printMovi(const AviFile& file, const Segment& segment, std::ostream& out) {
    std::map<std::string, size_t> perId;
    for (size_t i = 0; i < segment.chunkCount; ++i) {
        perId[quoted(file.chunks[segment.firstChunk + i].id)]++;
    }
    out << ": " << segment.chunkCount << " data chunks";
    const char* separator = " (";
    for (const auto& [id, count] : perId) {
        out << separator << count << " " << id;
        separator = ", ";
    }
    if (!perId.empty()) out << ")";
    if (segment.recLists > 0) out << " in " << segment.recLists << " 'rec ' lists";
}

void printNode(const AviFile& file, const Node& node, std::ostream& out) {
    out << std::string(size_t(node.depth) * 2, ' ') << quoted(node.id);
    if (node.listType != 0) out << " " << quoted(node.listType);
    out << " at " << node.offset << ", " << node.size << " bytes";
    if (node.ref < 0) {
        out << "\n";
        return;
    }
    const auto ref = size_t(node.ref);
    if (node.id == fourcc("RIFF") && ref < file.segments.size()) {
        out << ": segment " << ref;
    } else if (node.listType == fourcc("movi") && ref < file.segments.size()) {
        printMovi(file, file.segments[ref], out);
    } else if (node.listType == fourcc("strl")) {
        out << ": stream " << ref;
    } else if (node.id == fourcc("avih") && file.mainHeader) {
        printMainHeader(*file.mainHeader, out);
    } else if (node.id == fourcc("dmlh") && file.odmlTotalFrames) {
        out << ": " << *file.odmlTotalFrames << " total frames";
    } else if (node.id == fourcc("idx1") && file.oldIndex) {
        out << ": " << file.oldIndex->entries.size() << " entries";
    } else if (node.id == fourcc("strh") && ref < file.streams.size()) {
        printStreamHeader(*file.streams[ref].header, out);
    } else if (node.id == fourcc("strf") && ref < file.streams.size()) {
        printFormat(file.streams[ref], out);
    } else if (node.id == fourcc("indx") && ref < file.streams.size()) {
        const SuperIndex& si = *file.streams[ref].superIndex;
        out << ": super index of " << quoted(si.chunkId) << ", " << si.entriesInUse
            << " entries in use";
    } else if (streamOfIndexId(node.id) >= 0 && ref < file.standardIndexes.size()) {
        const StandardIndex& ix = file.standardIndexes[ref];
        out << ": " << ix.entriesInUse << " entries of " << quoted(ix.chunkId) << ", base "
            << ix.baseOffset;
    }
    out << "\n";
}

}  // namespace

void printAvi(const AviFile& file, std::ostream& out) {
    out << file.fileSize << " bytes, " << file.segments.size() << " RIFF segments, "
        << file.streams.size() << " streams, " << file.chunks.size() << " data chunks\n";
    for (const Node& node : file.nodes) printNode(file, node, out);
}

}  // namespace avireader
