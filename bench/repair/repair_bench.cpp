// Repair of an interrupted multi-gigabyte export, against reading the same file's bytes once in
// the same run. Writes a file of --size bytes (video chunks of 1.6 MB, 16-bit stereo audio chunks
// of 1024 sample frames) whose writer "dies" before finalize, then reports, best of --rounds:
// the time to plan the repair (scan and finalisation into memory) and the bytes it read; the time
// of one repair in place; and the time to read the file. Warm: the file was just written.
//
//   repair_bench [--size=4.5] [--dir=/var/tmp] [--rounds=3] [--keep]   (size in GiB; --keep
//   leaves the repaired file for peer readers)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "avi/avi_repair.h"
#include "avi/avi_writer.h"
#include "avi/four_cc.h"
#include "fileio/posix_file.h"

namespace {

// Forwards to a file until it "dies": then writes vanish, as they do when a process is killed.
class DyingFile final : public fileio::File {
public:
    explicit DyingFile(fileio::File& file) : file(file) {}
    bool dead = false;

    bool open(const char* path, uint32_t mode) override { return file.open(path, mode); }
    void close() override { file.close(); }
    int64_t size() override { return file.size(); }
    uint64_t tell() override { return file.tell(); }
    bool seek(uint64_t offset) override { return file.seek(offset); }
    size_t read(void* buffer, size_t count) override { return file.read(buffer, count); }
    size_t write(const void* buffer, size_t count) override {
        return dead ? count : file.write(buffer, count);
    }

private:
    fileio::File& file;
};

double seconds(const std::chrono::steady_clock::time_point& since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

template <class F>
double best(int rounds, F&& f) {
    double t = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        f();
        t = std::min(t, seconds(start));
    }
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    double gib = 4.5;
    std::string dir = "/var/tmp";
    int rounds = 3;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--size=", 0) == 0) gib = std::atof(a.c_str() + 7);
        if (a.rfind("--dir=", 0) == 0) dir = a.substr(6);
        if (a.rfind("--rounds=", 0) == 0) rounds = std::max(1, std::atoi(a.c_str() + 9));
        if (a == "--keep") keep = true;
    }
    const std::string path = dir + "/repair_bench_" + std::to_string(getpid()) + ".avi";
    const uint64_t target = static_cast<uint64_t>(gib * (1ULL << 30));

    const std::vector<uint8_t> video(1600007, 0x5A), audio(4096, 0);
    {
        fileio::PosixFile out;
        if (!out.open(path.c_str(), fileio::File::Write)) {
            std::fprintf(stderr, "cannot create %s\n", path.c_str());
            return 1;
        }
        DyingFile file(out);
        AviWriter w(file);
        AviStream& v = w.stream(w.addStream(fourCC("vids")));
        v.header.fccHandler = fourCC("P8RG");
        v.header.dwScale = 1;
        v.header.dwRate = 25;
        LittleEndianBuffer bih;  // BITMAPINFOHEADER, 1280x720, the codec's FourCC
        for (const uint32_t f : {40u, 1280u, 720u}) bih.put32(f);
        bih.put16(1);
        bih.put16(24);
        bih.putFourCC(fourCC("P8RG"));
        bih.putZeros(20);
        v.format = bih.take();
        w.stream(w.addStream(fourCC("auds"))).setAudioFormat(1, 2, 48000, 16, 3);
        w.writeHeader();
        for (int i = 0; file.tell() < target; ++i) {
            w.writeChunk(0, video.data(), video.size() - static_cast<size_t>(i % 7), 1, true);
            w.writeChunk(1, audio.data(), audio.size(), 1024, false);
        }
        w.writeChunk(0, video.data(), 1000, 1, true);
        file.dead = true;  // the last chunk's payload is cut below, the rest never reaches the disk
    }
    std::filesystem::resize_file(path, std::filesystem::file_size(path) - 500);

    fileio::PosixFile file;
    if (!file.open(path.c_str(),
                   fileio::File::Read | fileio::File::Write | fileio::File::Existing)) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    AviRepairPlan plan;
    const double planTime = best(rounds, [&] { plan = planAviRepair(file); });
    std::vector<uint8_t> block(4 << 20);
    uint64_t readBytes = 0;
    const double readTime = best(rounds, [&] {
        readBytes = 0;
        (void)file.seek(0);
        while (const size_t n = file.read(block.data(), block.size())) readBytes += n;
    });
    const auto applyStart = std::chrono::steady_clock::now();
    applyAviRepair(file, plan);
    const double applyTime = seconds(applyStart);
    const bool finished = !planAviRepair(file).needed;
    file.close();
    if (keep) {
        std::printf("kept               %s\n", path.c_str());
    } else {
        std::filesystem::remove(path);
    }

    uint64_t chunks = 0;
    for (const uint64_t c : plan.scan.chunksPerStream()) chunks += c;
    std::printf("file               %.2f GiB, %zu segments, %llu complete chunks, torn tail: %s\n",
                static_cast<double>(plan.scan.fileSize) / (1ULL << 30), plan.scan.segments.size(),
                static_cast<unsigned long long>(chunks), plan.scan.torn() ? "yes" : "no");
    std::printf(
        "plan (scan)        %.3f s, read %llu bytes = %.4f%% of the file\n", planTime,
        static_cast<unsigned long long>(plan.scan.bytesRead),
        100.0 * static_cast<double>(plan.scan.bytesRead) / static_cast<double>(plan.scan.fileSize));
    std::printf("apply in place     %.3f s (%zu tail writes, %zu patches)\n", applyTime,
                plan.tail.size(), plan.patches.size());
    std::printf("read whole file    %.3f s (%llu bytes)\n", readTime,
                static_cast<unsigned long long>(readBytes));
    std::printf("repair / read      %.4f  (plan + apply against reading every byte once)\n",
                (planTime + applyTime) / readTime);
    std::printf("second plan        %s\n", finished ? "nothing to repair" : "STILL UNFINISHED");
    return finished ? 0 : 1;
}
