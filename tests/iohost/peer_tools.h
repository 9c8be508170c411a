// The peers (ffmpeg, ffprobe, mediainfo) through a shell. On Windows every command fails, and the
// tests that need a peer skip themselves.
#pragma once

#include <cstdio>
#include <string>

namespace iohost_test {

struct ShellResult {
    int status = -1;
    std::string output;
};

inline ShellResult Shell(const std::string& command, bool withErrors = true) {
    ShellResult r;
#ifndef _WIN32
    std::FILE* pipe = popen((command + (withErrors ? " 2>&1" : " 2>/dev/null")).c_str(), "r");
    if (pipe == nullptr) return r;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        r.output.append(buffer, n);
    r.status = pclose(pipe);
#else
    (void)command;
    (void)withErrors;
#endif
    return r;
}

// ffprobe's count of packets per stream, a line each (0 where it says N/A: no packet).
inline std::string PacketCounts(const std::string& path) {
    return Shell(
               "ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "
               "'" +
               path + "' 2>&1 | sed 's,N/A,0,'")
        .output;
}

}  // namespace iohost_test
