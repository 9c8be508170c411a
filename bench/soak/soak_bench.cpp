// Memory growth per file over many whole sessions: each iteration lists the plug-in's codecs,
// encodes frames with two encoders, writes one AVI file with a video and an audio track, closes
// and releases everything. Counters: resident memory growth per file after a warm-up (target 0),
// host objects and library instances left (must be 0). The baseline is the same process's
// resident size after the warm-up, so the result is a ratio-free difference measured in one run.
//
//   soak_bench --benchmark_min_time=20      (seconds; the default is a short run)
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/iohost/driver/driver.h"
#include "platform/iohost/driver/mux_session.h"
#include "platform/iohost/host/host.h"
#include "platform/iohost/module/plugin_module.h"
#include "platform/parvolux_common64/parvolux_test_controls.h"

namespace {

// Resident set size in bytes, from /proc/self/statm.
double ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

void BM_SoakSessions(benchmark::State& state) {
    const auto width = static_cast<uint32_t>(state.range(0));
    auto module =
        iohost::PluginModule::load(iohost::PathNextToExecutable(iohost::DefaultModuleFileName()));
    const iohost::Driver driver(module);
    iohost::SessionIds ids;
    if (!iohost::FindSessionIds(driver, ids)) {
        state.SkipWithError("the session's codecs are not published");
        return;
    }
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("parvolux-soak-" + std::to_string(getpid()) + ".avi");
    iohost::SessionShape shape;
    shape.width = width;
    shape.height = width * 9 / 16;
    shape.frames = 10;
    shape.audioPackets = 10;

    int failures = 0;
    const auto session = [&] {
        for (const auto& answer : iohost::RunMuxSession(driver, ids, file.string(), shape))
            failures += answer.code != errNone;
    };
    // Warm-up: allocator pools, the codec library's thread pool and first-use tables settle.
    for (int i = 0; i < 20; ++i) session();
    const double baseline = ResidentBytes();
    int64_t files = 0;
    for (auto _ : state) {
        session();
        ++files;
    }
    const double grown = ResidentBytes() - baseline;
    state.counters["files"] = static_cast<double>(files);
    state.counters["rss_growth_per_file_bytes"] =
        files > 0 ? grown / static_cast<double>(files) : 0;
    state.counters["rss_growth_total_bytes"] = grown;
    state.counters["failed_answers"] = failures;
    state.counters["live_host_objects"] =
        static_cast<double>(iohost::Host::instance().liveObjects());
    state.counters["live_library_instances"] = parvolux_test_live_instances();
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
}
BENCHMARK(BM_SoakSessions)->Arg(320)->Arg(1280)->Unit(benchmark::kMillisecond)->MinTime(5.0);

}  // namespace

BENCHMARK_MAIN();
