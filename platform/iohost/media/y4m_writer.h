// Writes planar pictures as a YUV4MPEG2 stream that ffmpeg reads back (`-f yuv4mpegpipe`), and
// raw frames for RGB. Write failures throw std::runtime_error naming the path and the system's
// reason. Each write() leaves whole frames in the output, signals or not.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/iohost/picture/picture_format.h"

namespace iohost {

class VideoWriter {
public:
    // A YUV4MPEG2 stream when `y4m` (the format must be planar), else headerless frames. The
    // first form creates `path`; the second writes to an open file, which it closes unless it
    // is standard output.
    VideoWriter(const std::string& path, const PictureFormat& format, bool y4m);
    VideoWriter(std::FILE* file, std::string name, const PictureFormat& format, bool y4m);
    ~VideoWriter();
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    void write(const uint8_t* frame);
    // Flushes and closes; throws when the data did not reach the file.
    void close();

private:
    void put(const void* data, size_t size);
    [[noreturn]] void fail() const;

    std::FILE* m_file = nullptr;
    std::string m_path;
    PictureFormat m_format;
    bool m_y4m;
};

}  // namespace iohost
