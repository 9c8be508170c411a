#include "platform/iohost/cli/cli_repair.h"

#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "fileio/errors.h"
#include "fileio/platform_file.h"
#include "platform/avi_reader/avi_reader.h"
#include "platform/iohost/cli/cli.h"
#include "platform/iohost/cli/option_parser.h"
#include "platform/iohost/files/file_in_use.h"
#include "platform/iohost/files/output_guard.h"
#include "platform/iohost/files/system_error.h"
#include "platform/iohost/files/utf8_path.h"
#include "platform/iohost/files/write_failure.h"
#include "platform/iohost/picture/verified_repair.h"

namespace iohost::cli {

namespace {

struct RepairOptions {
    std::string input;
    std::optional<std::string> output;
    bool overwrite = false;
    bool dryRun = false;
};

constexpr Option<RepairOptions> kOptions[] = {
    {"-o, --output", "OUT", "write the repaired file to OUT and leave FILE unchanged",
     &RepairOptions::output},
    {"-y, --overwrite", "allow -o to replace an existing OUT (never FILE itself)",
     &RepairOptions::overwrite},
    {"-n, --dry-run", "only report what repair would do", &RepairOptions::dryRun},
};

RepairOptions ParseOptions(const std::vector<std::string>& args) {
    RepairOptions o;
    const std::vector<std::string> positional = ParseArguments(kOptions, args, o);
    CheckPositionals(positional, 1, "input file");
    o.input = positional[0];
    if (o.output && o.output->empty()) o.output.reset();  // -o "": in place
    // The copy is patched behind its end, which a pipe cannot take.
    if (o.output == "-") throw UsageError("-o needs a file, not standard output");
    return o;
}

// The system's reason for the file open that just failed.
std::string OpenFailureReason() {
#ifdef _WIN32
    return LastWindowsReason();
#else
    // The file layer's lock, taken without waiting, is held by the export still writing it.
    if (errno == EWOULDBLOCK) return "another program is writing it";
    return SystemReason(errno);
#endif
}

const char* PieceName(TailPiece::Kind kind) {
    switch (kind) {
        case TailPiece::Kind::ChunkHeader:
            return "chunk header";
        case TailPiece::Kind::DataChunk:
            return "data chunk";
        case TailPiece::Kind::StandardIndex:
            return "standard index";
        case TailPiece::Kind::OldIndex:
            return "index";
        case TailPiece::Kind::SegmentHeader:
            return "segment header";
    }
    return "";
}

uint64_t Bytes(const std::vector<WriteRecorder::Write>& writes) {
    uint64_t n = 0;
    for (const auto& w : writes) n += w.bytes.size();
    return n;
}

// Copies the bytes the repair keeps into a new file.
void CopyKept(fileio::File& from, fileio::File& to, uint64_t count) {
    std::vector<uint8_t> block(4 << 20);
    for (uint64_t done = 0; done < count;) {
        const auto n = static_cast<size_t>(std::min<uint64_t>(block.size(), count - done));
        if (!from.seek(done) || from.read(block.data(), n) != n)
            throw fileio::Error("cannot read byte " + std::to_string(done) + " of the input");
        if (!to.seek(done) || to.write(block.data(), n) != n) throw fileio::WriteError(n, 0);
        done += n;
    }
}

// When the file is not to be repaired (refused, or finished already): says why and answers the exit
// status.
std::optional<int> ExitWithoutRepair(const AviRepairPlan& plan, const Context& context,
                                     const std::string& path, std::ostream& out) {
    const std::string file = "'" + path + "'";
    switch (plan.scan.verdict) {
        case AviScan::Verdict::Ours:
            if (plan.needed) return std::nullopt;
            out << file << " is finished: nothing to repair\n";
            return kExitOk;
        case AviScan::Verdict::NotOurs:
            context.error() << file << " was not written by this plug-in's AVI writer, left "
                            << "unchanged: " << plan.scan.reason << "\n";
            break;
        case AviScan::Verdict::HeaderDamaged:
            context.error() << file << " ends or is damaged before its header ended, nothing to "
                            << "recover, left unchanged: " << plan.scan.reason << "\n";
            break;
        case AviScan::Verdict::Broken:
            context.error() << file << " is damaged in a way an interrupted export does not "
                            << "leave, left unchanged: " << plan.scan.reason << "\n";
            break;
    }
    return kExitFailure;
}

// What inspect would call wrong in a repaired file, before it is called repaired; empty when
// nothing.
std::string Inconsistency(const std::string& path) {
    for (const auto& problem : avireader::checkAvi(avireader::readAvi(path)))
        if (problem.severity == avireader::Severity::Error) return avireader::toString(problem);
    return {};
}

}  // namespace

void PrintRepairReport(const AviRepairPlan& plan, const std::string& note, std::ostream& out) {
    const AviScan& scan = plan.scan;
    out << "Unfinished: "
        << (note.empty() ? "the file ends before the structures that close it" : note)
        << "\n  segments:";
    for (size_t i = 0; i < scan.segments.size(); ++i)
        out << (i == 0 ? " 'AVI ' at " : ", 'AVIX' at ") << scan.segments[i].riffStart;
    out << "\n  complete data chunks:";
    const std::vector<uint64_t> counts = scan.chunksPerStream();
    for (size_t i = 0; i < counts.size(); ++i)
        out << (i == 0 ? " " : ", ") << "stream " << i << " " << counts[i];
    out << "\n  after the last complete chunk (byte " << scan.dataEnd << "):";
    if (scan.tail.empty()) out << (scan.padMissing ? " its pad byte is missing" : " nothing");
    for (const TailPiece& p : scan.tail) {
        out << "\n    " << PieceName(p.kind);
        if (p.id != 0) out << " '" << avireader::fourccText(p.id) << "'";
        out << " at " << p.pos << (p.torn() ? ", torn: " : ", whole: ") << p.have << " of "
            << p.need << " bytes";
    }
    out << "\n  tail: " << (scan.torn() ? "torn" : "not torn") << "\nRepair would:\n";
    if (scan.fileSize > scan.dataEnd)
        out << "  drop the " << scan.fileSize - scan.dataEnd << " bytes after byte " << scan.dataEnd
            << "\n";
    out << "  close segment " << scan.segments.size() << " with its standard indexes"
        << (scan.segments.size() == 1 ? " and 'idx1'" : "") << ": " << Bytes(plan.tail)
        << " bytes from byte " << scan.dataEnd << "\n  patch " << plan.patches.size()
        << " places behind it (" << Bytes(plan.patches)
        << " bytes): segment sizes, stream headers, super indexes, frame counts\n"
        << "  keep every complete chunk where it lies; the file ends at byte " << plan.finalSize
        << "\n";
}

namespace {

// Finishes the file where it lies, planned again on the handle that writes, so that the plan is
// of the bytes it changes.
std::optional<int> RepairInPlace(fileio::PlatformFile& input, AviRepairPlan& plan,
                                 const Context& context, const std::string& path,
                                 std::ostream& out) {
    input.close();
    if (!input.open(path.c_str(),
                    fileio::File::Read | fileio::File::Write | fileio::File::Existing)) {
        context.error() << "cannot open '" << path << "' for writing: " << OpenFailureReason()
                        << "\n";
        return kExitFailure;
    }
    std::string note;
    plan = PlanVerifiedRepair(input, note);
    if (const std::optional<int> status = ExitWithoutRepair(plan, context, path, out))
        return status;
    try {
        applyAviRepair(input, plan);
    } catch (const fileio::Error& e) {
        // The file layer's message has only offsets and counts: add the system's reason, once
        // this run's own hold on the file is gone.
        input.close();
        throw fileio::Error(e.what() + WriteFailureReason(path));
    }
    return std::nullopt;
}

// Writes the kept bytes and the repair into a new file, kept only when it is consistent.
void RepairIntoCopy(fileio::File& input, const AviRepairPlan& plan, OutputGuard& copyGuard) {
    copyGuard.create();
    fileio::PlatformFile copy;
    try {
        const std::string& path = copyGuard.writePath();
        if (!copy.open(path.c_str(), fileio::File::Write))
            throw fileio::Error("cannot open '" + path + "': " + OpenFailureReason());
        CopyKept(input, copy, std::min(plan.scan.dataEnd, plan.scan.fileSize));
        applyAviRepair(copy, plan);
        copy.close();
        if (const std::string why = Inconsistency(path); !why.empty())
            throw fileio::Error("the repaired copy is inconsistent, not kept: " + why);
        copyGuard.commit();
    } catch (...) {
        copy.close();
        copyGuard.discardIfCreated();
        throw;
    }
}

int Repair(const Context& context, const RepairOptions& o, fileio::PlatformFile& input,
           OutputGuard* copyGuard, std::ostream& out) {
    std::string note;
    AviRepairPlan plan = PlanVerifiedRepair(input, note);
    if (const std::optional<int> status = ExitWithoutRepair(plan, context, o.input, out))
        return *status;
    PrintRepairReport(plan, note, out);
    if (o.dryRun) {
        out << "Dry run: nothing written (read " << plan.scan.bytesRead << " bytes)\n";
        return kExitOk;
    }
    if (copyGuard == nullptr) {
        if (const std::optional<int> status = RepairInPlace(input, plan, context, o.input, out))
            return *status;
    } else {
        RepairIntoCopy(input, plan, *copyGuard);
    }
    input.close();
    const std::string& target = copyGuard ? *o.output : o.input;
    if (const std::string why = Inconsistency(target); !why.empty()) {
        context.error() << "'" << target << "' is still inconsistent after the repair: " << why
                        << "\n";
        return kExitFailure;
    }
    uint64_t chunks = 0;
    for (const uint64_t c : plan.scan.chunksPerStream()) chunks += c;
    out << "Repaired '" << target << "': " << chunks << " chunks kept in "
        << plan.scan.segments.size() << " segments, " << plan.finalSize << " bytes (read "
        << plan.scan.bytesRead << " bytes of " << plan.scan.fileSize << ")\n";
    return kExitOk;
}

int RunRepair(Context& context) {
    // Reports are summaries: standard error, and nothing under -q.
    std::ostream nowhere(nullptr);
    std::ostream& out = context.options.quiet ? nowhere : context.err;
    const RepairOptions o = ParseOptions(context.args);
    if (const std::optional<int> refused = RefuseUnreadable(context, o.input)) return *refused;
    std::optional<OutputGuard> copyGuard;
    if (o.output) copyGuard.emplace(*o.output, o.overwrite, std::vector{o.input});
    fileio::PlatformFile input;
    if (!input.open(o.input.c_str(), fileio::File::Read)) {
        context.error() << "cannot open '" << o.input << "': " << OpenFailureReason() << "\n";
        return kExitFailure;
    }
    try {
        return Repair(context, o, input, copyGuard ? &*copyGuard : nullptr, out);
    } catch (const std::exception& e) {
        context.error() << "'" << o.input << "': " << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace

std::optional<int> RefuseUnreadable(const Context& context, const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(Utf8Path(path), ec);
    if (ec || !std::filesystem::is_regular_file(status)) {
        context.error() << "cannot open '" << path
                        << "': " << (ec ? ec.message() : "not a regular file") << "\n";
        return kExitFailure;
    }
    if (InUseByAnotherProgram(path)) {
        context.error() << "'" << path << "' " << kInUse << "\n";
        return kExitInUse;
    }
    return std::nullopt;
}

constexpr Command kRepair{
    "repair",
    "FILE.avi [-o OUT.avi] [--dry-run]",
    "finish an AVI file whose export was interrupted",
    &RunRepair,
    &HelpRows<kOptions>,
    "Keeps every complete chunk where it lies, drops a torn tail and writes what closing the\n"
    "file would have written: the result is the file the export gives when stopped after the\n"
    "same frames. Reads the chunk headers and decodes the last frame of the video: a frame\n"
    "that does not decode (a full disk can leave one whose size was cut to the bytes written)\n"
    "is dropped with all after it. A finished file whose frames decode is left alone; a file\n"
    "this plug-in did not write, or one damaged before its header ended, is refused,\n"
    "unchanged. The result is checked as inspect checks it before it is called repaired.\n"
    "\n"
    "Exit status: 0 repaired or nothing to repair, 1 refused or failed, 2 usage error,\n"
    "4 in use by another program.\n"};

}  // namespace iohost::cli
