#include "codec/frame_format_text.h"

#include <cinttypes>
#include <cstdio>

namespace {

const char* LibraryName(int32_t category, uint32_t code) {
    // Codes travel to the library as its signed 32-bit type; the bit pattern is kept.
    const char* name = parvolux_get_string(category, static_cast<int32_t>(code));
    return name != nullptr ? name : "";
}

void Named(std::ostream& os, int32_t category, uint32_t code) {
    os << LibraryName(category, code) << '(' << code << ')';
}

}  // namespace

void FrameFormatText::address(std::ostream& os, const void* pointer) {
    if (pointer == nullptr) {
        os << "null";
        return;
    }
    char digits[2 + 16 + 1];
    std::snprintf(digits, sizeof digits, "0x%016" PRIX64,
                  static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pointer)));
    os << digits;
}

void FrameFormatText::format(std::ostream& os, const FrameFormat* format) {
    if (format == nullptr) {
        os << "null";
        return;
    }
    if (format->formatCode != parvoluxFormatExtended) {
        os << '{' << format->width << ',' << format->height << ',';
        Named(os, parvoluxStringFormat, format->formatCode);
        os << '}';
        return;
    }
    os << "{{" << format->width << ',' << format->height << ',';
    Named(os, parvoluxStringFormat, format->formatCode);
    os << "}," << format->extA << ',';
    Named(os, parvoluxStringFormat, format->pixelFormat);
    os << ',' << format->extB << ',';
    Named(os, parvoluxStringExtC, format->extC);
    os << ',' << format->range << ',' << format->fieldOrder << '}';
}

void FrameFormatText::bufferSize(std::ostream& os, const uint32_t* bufferSize) {
    if (bufferSize == nullptr) {
        os << "null";
        return;
    }
    os << '{';
    address(os, bufferSize);
    os << ',' << *bufferSize << '}';
}

void FrameFormatText::planes(std::ostream& os, const FramePlanes* planes) {
    if (planes == nullptr) {
        os << "null";
        return;
    }
    os << '{';
    for (int i = 0; i < 4; ++i) {
        const FramePlane& plane = planes->plane[i];
        if (i > 0) os << ',';
        os << '{';
        address(os, plane.data);
        os << ',' << plane.aux << ',' << plane.byteCount << '}';
    }
    os << '}';
}
