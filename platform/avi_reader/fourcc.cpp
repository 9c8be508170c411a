#include "platform/avi_reader/fourcc.h"

namespace avireader {
namespace {

bool isDigit(uint32_t byte) {
    return byte >= '0' && byte <= '9';
}

int twoDigits(uint32_t tens, uint32_t units) {
    if (!isDigit(tens) || !isDigit(units)) return -1;
    return int((tens - '0') * 10 + (units - '0'));
}

}  // namespace

std::string fourccText(uint32_t code) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const auto c = uint8_t(code >> (8 * i));
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            text += char(c);
        } else {
            text += "\\x";
            text += kHex[c >> 4];
            text += kHex[c & 15];
        }
    }
    return text;
}

int streamOfChunkId(uint32_t code) {
    return twoDigits(code & 0xff, (code >> 8) & 0xff);
}

int streamOfIndexId(uint32_t code) {
    if ((code & 0xffff) != (fourcc("ix00") & 0xffff)) return -1;
    return twoDigits((code >> 16) & 0xff, code >> 24);
}

}  // namespace avireader
