// Reads YUV4MPEG2 streams as ffmpeg writes them with `-f yuv4mpegpipe`: the stream header
// ("YUV4MPEG2 W.. H.. F.. C.."), then per frame a "FRAME" line and the planes Y, U, V. The colour
// space tags 420jpeg, 420mpeg2, 420paldv, 420, 422, 444 and mono, and their high-bit-depth forms
// (420p10, 422p12, 444p16, mono10, ...) are taken; samples above 8 bits are little-endian 16-bit
// words, low-aligned. Interlacing (It, Ib, Ip) and XCOLORRANGE go into the PictureFormat; a
// sample aspect ratio other than 1:1 and a chroma siting other than the centred one are kept as
// notes, for a warning where they cannot be carried on. Malformed headers and truncated frames
// throw InputError.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/iohost/files/input_file.h"
#include "platform/iohost/media/video_source.h"

namespace iohost {

// Parses the text of a stream header (without the signature and the newline) into `format`;
// throws InputError naming the offending tag. What the format cannot hold goes to `notes`
// ("sample aspect ratio 5:7") when given.
void ParseY4mHeader(const std::string& tags, PictureFormat& format,
                    std::vector<std::string>* notes = nullptr);
// The whole stream header line for a planar format, with its newline.
[[nodiscard]] std::string Y4mHeader(const PictureFormat& format);
// The colour space tag for a planar format ("420jpeg", "422p10", "mono"); empty for RGB.
[[nodiscard]] std::string Y4mColourTag(const PictureFormat& format);

class Y4mReader final : public VideoSource {
public:
    // Opens the file ("-" for standard input) and reads the stream header.
    explicit Y4mReader(const std::string& path);
    explicit Y4mReader(std::unique_ptr<InputFile> file);

    [[nodiscard]] const PictureFormat& format() const override { return m_format; }
    [[nodiscard]] bool read(uint8_t* frame) override { return readInPieces(frame, {}); }
    [[nodiscard]] bool readInPieces(uint8_t* frame, const PieceArrived& arrived) override;
    [[nodiscard]] std::optional<uint64_t> frameCount() const override;
    // Takes samples above the format's depth as they are stored (for --allow-bit-loss, and for
    // --verify, which compares every stored bit); otherwise read() refuses them with InputError.
    void acceptSamplesAboveDepth() { m_acceptAboveDepth = true; }
    // What the header says that the format does not hold.
    [[nodiscard]] const std::vector<std::string>& notes() const { return m_notes; }

private:
    [[noreturn]] void frameError(const std::string& what) const;
    [[nodiscard]] std::string readLine(size_t limit, bool& atEnd);

    std::unique_ptr<InputFile> m_file;
    PictureFormat m_format;
    std::vector<std::string> m_notes;
    uint64_t m_headerBytes = 0;
    uint64_t m_frames = 0;
    bool m_acceptAboveDepth = false;
};

}  // namespace iohost
