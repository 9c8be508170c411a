// Written files read back by the independent AVI reader, whose checker cross-checks headers,
// indexes and data chunks.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "avi/avi_writer.h"
#include "avi/four_cc.h"
#include "platform/avi_reader/avi_reader.h"
#include "platform/avi_reader/le_bytes.h"
#include "tests/support/test_file.h"

// Golden bytes written as hex, in groups of whole bytes (a field each) split by spaces.
inline std::vector<uint8_t> hex(std::string_view text) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != ' ')
            out.push_back(std::stoul(std::string(text.substr(i++, 2)), nullptr, 16));
    }
    return out;
}

// A 64x48 stream of key frames at 25 per second, described by a BITMAPINFOHEADER.
inline void addVideo(AviWriter& w) {
    AviStream& s = w.stream(w.addStream(fourCC("vids")));
    s.header.fccHandler = fourCC("P8RG");
    s.header.dwScale = 1;
    s.header.dwRate = 25;
    w.mainHeader.dwMicroSecPerFrame = 40000;
    s.format =
        hex("28000000 40000000 30000000 0100 1800 50385247 00240000 00000000 00000000 "
            "00000000 00000000");
}

// The call is refused with a std::logic_error (std::out_of_range is one) of this message, and
// nothing is written.
inline void expectRefusal(const TestFile& file, const std::string& message,
                          const std::function<void()>& call) {
    const int writes = file.writes;
    try {
        call();
        ADD_FAILURE() << "accepted: " << message;
    } catch (const std::exception& e) {
        EXPECT_EQ(e.what(), message);
    }
    EXPECT_EQ(file.writes, writes) << message;
}

// Parsed from what a TestFile kept; reading a byte it dropped throws.
inline avireader::AviFile readBack(const TestFile& file) {
    struct Source final : avireader::ByteSource {
        explicit Source(const TestFile& file) : file(file) {}
        [[nodiscard]] uint64_t size() const override { return file.end; }
        [[nodiscard]] size_t read(uint64_t offset, void* dst, size_t count) override {
            const auto bytes = file.bytesAt(offset, std::min<uint64_t>(count, file.end - offset));
            std::copy(bytes.begin(), bytes.end(), static_cast<uint8_t*>(dst));
            return bytes.size();
        }
        const TestFile& file;
    } source(file);
    return avireader::parseAvi(source);
}

// The file, with a failure for everything the checker finds (warnings included): a file of this
// writer should give nothing.
inline avireader::AviFile checked(avireader::AviFile avi) {
    std::vector<std::string> problems;
    for (const avireader::Problem& p : avireader::checkAvi(avi)) problems.push_back(toString(p));
    EXPECT_EQ(problems, std::vector<std::string>{});
    return avi;
}
inline avireader::AviFile checked(const TestFile& file) {
    return checked(readBack(file));
}

// One line per chunk in file order: the offset of its header, its name and its size.
inline std::string outline(const avireader::AviFile& avi) {
    using avireader::fourccText;
    std::map<uint64_t, std::string> lines;
    for (const avireader::Node& n : avi.nodes) {
        const std::string type = n.listType != 0 ? fourccText(n.listType) + " " : "";
        lines[n.offset] = fourccText(n.id) + " " + type + std::to_string(n.size);
    }
    for (const avireader::DataChunk& c : avi.chunks)
        lines[c.offset - 8] = fourccText(c.id) + " " + std::to_string(c.size);
    std::string text;
    for (const auto& [offset, line] : lines) text += std::to_string(offset) + " " + line + "\n";
    return text;
}
