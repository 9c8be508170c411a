#include <optional>

#include "fileio/platform_file.h"
#include "platform/avi_reader/avi_reader.h"
#include "platform/iohost/cli/cli.h"
#include "platform/iohost/cli/cli_repair.h"
#include "platform/iohost/picture/verified_repair.h"

namespace iohost::cli {

namespace {

constexpr uint32_t kVids = avireader::fourcc("vids");
constexpr uint32_t kAuds = avireader::fourcc("auds");

void PrintStreams(const avireader::AviFile& file, std::ostream& out) {
    out << "\nStreams:\n";
    for (size_t i = 0; i < file.streams.size(); ++i) {
        const auto& s = file.streams[i];
        const auto chunks = avireader::chunksOfStream(file, static_cast<int>(i));
        uint64_t bytes = 0;
        for (const auto& c : chunks) bytes += c.size;
        out << "  " << i << ": ";
        if (s.header && s.header->type == kVids && s.video) {
            out << "video " << avireader::fourccText(s.video->compression) << " " << s.video->width
                << "x" << s.video->height << ", " << s.header->rate << "/" << s.header->scale
                << " fps, " << chunks.size() << " frames";
        } else if (s.header && s.header->type == kAuds && s.audio) {
            out << "audio tag " << s.audio->formatTag << ", " << s.audio->channels << " ch, "
                << s.audio->samplesPerSec << " Hz, " << s.audio->bitsPerSample << " bits, "
                << chunks.size() << " chunks";
        } else {
            out << "other, " << chunks.size() << " chunks";
        }
        out << ", " << bytes << " bytes\n";
    }
    out << "Segments: " << file.segments.size() << ", data chunks: " << file.chunks.size()
        << ", standard indexes: " << file.standardIndexes.size()
        << ", idx1 entries: " << (file.oldIndex ? file.oldIndex->entries.size() : 0) << "\n";
}

// An unfinished file is checked by what finishing it would change, not by the indexes and lengths
// its writer had not yet written: prints what repair would do and answers true for one.
bool ReportUnfinished(const std::string& path, std::ostream& out) {
    fileio::PlatformFile raw;
    if (!raw.open(path.c_str(), fileio::File::Read)) return false;
    std::string note;
    AviRepairPlan plan;
    try {
        plan = PlanVerifiedRepair(raw, note);
    } catch (const std::exception& e) {
        // The structure is still worth checking when the frames cannot be.
        out << "warning: " << e.what() << "\n";
        plan = planAviRepair(raw);
    }
    if (plan.scan.verdict != AviScan::Verdict::Ours || !plan.needed) return false;
    out << "\n";
    PrintRepairReport(plan, note, out);
    out << "Run 'iohost repair " << path << "' to finish it.\n";
    return true;
}

int RunInspect(Context& context) {
    std::ostream& out = context.out;
    if (context.args.size() != 1)
        throw UsageError(context.args.empty() ? "no file" : "one file only");
    const std::string& path = context.args.front();
    if (const std::optional<int> refused = RefuseUnreadable(context, path)) return *refused;
    const avireader::AviFile file = avireader::readAvi(path);
    avireader::printAvi(file, out);
    PrintStreams(file, out);
    if (ReportUnfinished(path, out)) return kExitRepairable;

    const auto problems = avireader::checkAvi(file);
    for (const auto& problem : problems) out << avireader::toString(problem) << "\n";
    if (avireader::hasErrors(problems)) {
        context.error() << "'" << path << "' is inconsistent\n";
        return kExitFailure;
    }
    out << "Consistent: headers, indexes and chunks agree\n";
    return kExitOk;
}

}  // namespace

constexpr Command kInspect{
    "inspect",
    "FILE.avi",
    "print an AVI file's structure and check its indexes",
    &RunInspect,
    nullptr,
    "Prints the chunk tree, the streams and their chunk counts, then every inconsistency\n"
    "found between headers, indexes and chunks. A file whose export was interrupted is\n"
    "reported as unfinished: its segments, complete chunks per stream, torn tail and what\n"
    "'iohost repair' would do.\n"
    "\n"
    "Exit status: 0 consistent, 1 inconsistent or unreadable, 2 usage error,\n"
    "3 unfinished and repairable, 4 in use by another program.\n"};

}  // namespace iohost::cli
