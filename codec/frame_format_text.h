// How the arguments of a failed codec library call are written into its diagnostic text. The
// texts reach the host's log, so their form is fixed:
//   - any null pointer: "null";
//   - an address: "0x" and sixteen upper-case hexadecimal digits;
//   - a FrameFormat in the short form: "{" width "," height "," NAME "(" formatCode ")" "}";
//     in the extended form (formatCode 254) all nine fields:
//     "{{" width "," height "," NAME "(" formatCode ")}," extA "," NAME1 "(" pixelFormat "),"
//     extB "," NAME3 "(" extC ")," range "," fieldOrder "}";
//     names come from parvolux_get_string (category 1 for format codes, 3 for extC);
//   - a buffer size: "{" address "," the value it points to "}";
//   - FramePlanes: "{" four entries "{" data address "," aux "," byteCount "}" joined by "," "}".
// Numbers are written with the stream's formatting, which callers leave at its default (decimal).
#pragma once

#include <cstdint>
#include <ostream>

#include "codec/parvolux_library.h"

class FrameFormatText {
public:
    static void address(std::ostream& os, const void* pointer);
    static void format(std::ostream& os, const FrameFormat* format);
    static void bufferSize(std::ostream& os, const uint32_t* bufferSize);
    static void planes(std::ostream& os, const FramePlanes* planes);
};
