#include "tests/encoder/test_frames.h"

#include <algorithm>
#include <random>
#include <stdexcept>

#include "platform/parvolux_common64/parvolux_decoder.h"

namespace {

using Plane = std::vector<uint8_t>;

// Bytes of each raw plane.
std::vector<size_t> RawPlaneBytes(uint32_t rawFormat, uint32_t w, uint32_t h) {
    const size_t n = size_t{w} * h;
    const size_t half = size_t{(w + 1) / 2} * h;
    const size_t quarter = size_t{(w + 1) / 2} * ((h + 1) / 2);
    if (rawFormat == 22) return {n * 3};
    if (rawFormat == 20) return {n * 4};
    if (rawFormat == 29) return {n, n, n};
    if (rawFormat == 5) return {half * 4};
    if (rawFormat == 10) return {n, quarter, quarter};
    if (rawFormat == 28) return {n * 6};
    if (rawFormat == 26) return {n * 8};
    if (rawFormat == 51) return {n * 2, n * 2, n * 2};
    if (rawFormat == 59) return {n * 2, half * 2, half * 2};
    throw std::invalid_argument("unknown raw format " + std::to_string(rawFormat));
}

// Every other row of a plane, starting with the first.
Plane EvenRows(const Plane& plane, size_t rowBytes) {
    Plane out;
    for (size_t at = 0; at < plane.size(); at += 2 * rowBytes)
        out.insert(out.end(), plane.begin() + at, plane.begin() + at + rowBytes);
    return out;
}

}  // namespace

TestFrame MakeTestFrame(const FormatDesc& row, uint32_t w, uint32_t h, uint32_t seed) {
    const uint32_t format = row.compressedFormat;
    const unsigned bits = format == 111 || format == 112   ? 12
                          : format == 113 || format == 114 ? 14
                                                           : 10;
    const auto lowByteMask = static_cast<uint8_t>(row.bitDepth == 16 ? 0xFF << (16 - bits) : 0xFF);
    const size_t chromaRow = size_t{(w + 1) / 2} * 2;  // of the 16-bit 4:2:2 planes
    std::mt19937 random(seed);
    Planes raw;
    for (size_t bytes : RawPlaneBytes(row.rawFormat, w, h)) {
        Plane plane(bytes);
        for (size_t i = 0; i < bytes; ++i)
            plane[i] = static_cast<uint8_t>(random() & (i % 2 == 0 ? lowByteMask : 0xFF));
        if (format == 123 && !raw.empty()) {
            for (size_t at = chromaRow; at < bytes; at += 2 * chromaRow)
                std::copy_n(plane.begin() + at - chromaRow, chromaRow, plane.begin() + at);
        }
        raw.push_back(std::move(plane));
    }
    TestFrame frame;
    for (const Plane& p : raw) frame.raw.insert(frame.raw.end(), p.begin(), p.end());
    if (format == 104) {  // UYVY comes back planar
        const uint32_t cw = (w + 1) / 2;
        Plane y(size_t{w} * h), u(size_t{cw} * h), v(size_t{cw} * h);
        for (uint32_t r = 0; r < h; ++r) {
            const uint8_t* line = raw[0].data() + size_t{r} * 4 * cw;
            for (uint32_t x = 0; x < w; ++x)
                y[size_t{r} * w + x] = line[4 * (x / 2) + 1 + 2 * (x % 2)];
            for (uint32_t p = 0; p < cw; ++p) {
                u[size_t{r} * cw + p] = line[4 * p];
                v[size_t{r} * cw + p] = line[4 * p + 2];
            }
        }
        raw = {y, u, v};
    }
    if (format == 107 || format == 115) raw.resize(1);  // luma alone
    if (format == 123) raw = {raw[0], EvenRows(raw[1], chromaRow), EvenRows(raw[2], chromaRow)};
    frame.expectedPlanes = std::move(raw);
    return frame;
}

std::string DecodeDifference(const std::vector<uint8_t>& cookie, uint32_t width, uint32_t height,
                             const std::vector<uint8_t>& packet, const Planes& expected) {
    ParvoluxDecoder* decoder = nullptr;
    int32_t status =
        parvolux_decoder_open(cookie.data(), cookie.size(), width, height, 0, &decoder);
    if (status != 0) return "parvolux_decoder_open: " + std::to_string(status);
    ParvoluxOutputLayout layout{};
    status = parvolux_decoder_layout(decoder, &layout);
    Planes decoded;
    std::vector<ParvoluxOutputPlane> targets;
    if (status == 0) {
        decoded.resize(layout.planeCount);
        for (uint32_t i = 0; i < layout.planeCount; ++i) {
            decoded[i].resize(size_t{layout.plane[i].rowBytes} * layout.plane[i].height);
            targets.push_back({decoded[i].data(), layout.plane[i].rowBytes, decoded[i].size()});
        }
        status = parvolux_decoder_decode(decoder, packet.data(), packet.size(), targets.data());
    }
    parvolux_decoder_close(decoder);
    if (status != 0) return "decoding: " + std::to_string(status);
    if (decoded.size() != expected.size()) return "plane count " + std::to_string(decoded.size());
    for (size_t p = 0; p < expected.size(); ++p) {
        const std::string plane = "plane " + std::to_string(p);
        if (decoded[p].size() != expected[p].size())
            return plane + " has " + std::to_string(decoded[p].size()) + " bytes";
        const auto [want, got] =
            std::mismatch(expected[p].begin(), expected[p].end(), decoded[p].begin());
        if (want != expected[p].end()) {
            return plane + " byte " + std::to_string(want - expected[p].begin()) + ": " +
                   std::to_string(*got) + ", expected " + std::to_string(*want);
        }
    }
    return {};
}
