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
    std::string output;
    bool overwrite = false;
    bool dryRun = false;
};

void ParseOptions(const std::vector<std::string>& args, RepairOptions& o) {
    std::optional<std::string> output;
    OptionParser parser;
    parser.value({"-o", "--output"}, output)
        .flag({"-y", "--overwrite"}, o.overwrite)
        .flag({"-n", "--dry-run"}, o.dryRun);
    const std::vector<std::string> positional = parser.parse(args);
    if (positional.empty()) throw UsageError("no input file");
    if (positional.size() > 1) throw UsageError("unexpected argument '" + positional[1] + "'");
    o.input = positional[0];
    o.output = output.value_or("");
    // The copy is patched behind its end, which a pipe cannot take.
    if (o.output == "-") throw UsageError("-o needs a file, not standard output");
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

// Refusals and a finished file: the message and the status; -1 when the file is to be repaired.
int Verdict(const AviRepairPlan& plan, const std::string& path, std::ostream& out,
            std::ostream& err) {
    const std::string file = "'" + path + "'";
    switch (plan.scan.verdict) {
        case AviScan::Verdict::Ours:
            if (plan.needed) return -1;
            out << file << " is finished: nothing to repair\n";
            return kExitOk;
        case AviScan::Verdict::NotOurs:
            err << "iohost repair: " << file
                << " was not written by this plug-in's AVI writer, left unchanged: "
                << plan.scan.reason << "\n";
            break;
        case AviScan::Verdict::HeaderDamaged:
            err << "iohost repair: " << file
                << " ends or is damaged before its header ended, nothing to recover, left "
                   "unchanged: "
                << plan.scan.reason << "\n";
            break;
        case AviScan::Verdict::Broken:
            err << "iohost repair: " << file
                << " is damaged in a way an interrupted export does not leave, left unchanged: "
                << plan.scan.reason << "\n";
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

int RunRepair(Context& context) {
    std::ostream& err = context.err;
    // Reports are summaries: standard error, and nothing under -q.
    std::ostream nowhere(nullptr);
    std::ostream& out = context.options.quiet ? nowhere : err;
    RepairOptions o;
    try {
        ParseOptions(context.args, o);
    } catch (const UsageError& e) {
        err << "iohost repair: " << e.what() << "\n";
        return kExitUsage;
    }
    std::error_code ec;
    const auto status = std::filesystem::status(Utf8Path(o.input), ec);
    if (ec || !std::filesystem::is_regular_file(status)) {
        err << "iohost repair: cannot open '" << o.input
            << "': " << (ec ? ec.message() : "not a regular file") << "\n";
        return kExitFailure;
    }
    if (InUseByAnotherProgram(o.input)) {
        err << "iohost repair: '" << o.input << "' " << kInUse << "\n";
        return kExitInUse;
    }
    std::optional<OutputGuard> copyGuard;
    try {
        if (!o.output.empty()) copyGuard.emplace(o.output, o.overwrite, std::vector{o.input});
    } catch (const OutputRefused& e) {
        err << "iohost repair: " << e.what() << "\n";
        return kExitFailure;
    }

    fileio::PlatformFile input;
    if (!input.open(o.input.c_str(), fileio::File::Read)) {
        err << "iohost repair: cannot open '" << o.input << "': " << OpenFailureReason() << "\n";
        return kExitFailure;
    }
    try {
        std::string note;
        AviRepairPlan plan = PlanVerifiedRepair(input, note);
        if (const int status = Verdict(plan, o.input, out, err); status >= 0) return status;
        PrintRepairReport(plan, note, out);
        if (o.dryRun) {
            out << "Dry run: nothing written (read " << plan.scan.bytesRead << " bytes)\n";
            return kExitOk;
        }
        const bool inPlace = o.output.empty();
        const std::string target = inPlace ? o.input : o.output;
        if (inPlace) {
            // Planned again on the handle that writes, so that the plan is of the bytes it changes.
            input.close();
            if (!input.open(o.input.c_str(),
                            fileio::File::Read | fileio::File::Write | fileio::File::Existing)) {
                err << "iohost repair: cannot open '" << o.input
                    << "' for writing: " << OpenFailureReason() << "\n";
                return kExitFailure;
            }
            plan = PlanVerifiedRepair(input, note);
            if (const int status = Verdict(plan, o.input, out, err); status >= 0) return status;
            try {
                applyAviRepair(input, plan);
            } catch (const fileio::Error& e) {
                // The file layer's message has only offsets and counts: add the system's reason,
                // once this run's own hold on the file is gone.
                input.close();
                throw fileio::Error(e.what() + WriteFailureReason(o.input));
            }
        } else {
            copyGuard->create();
            fileio::PlatformFile copy;
            try {
                const std::string& path = copyGuard->writePath();
                if (!copy.open(path.c_str(), fileio::File::Write))
                    throw fileio::Error("cannot open '" + path + "': " + OpenFailureReason());
                CopyKept(input, copy, std::min(plan.scan.dataEnd, plan.scan.fileSize));
                applyAviRepair(copy, plan);
                copy.close();
                if (const std::string why = Inconsistency(path); !why.empty())
                    throw fileio::Error("the repaired copy is inconsistent, not kept: " + why);
                copyGuard->commit();
            } catch (...) {
                copy.close();
                copyGuard->discardIfCreated();
                throw;
            }
        }
        input.close();
        if (const std::string why = Inconsistency(target); !why.empty()) {
            err << "iohost repair: '" << target
                << "' is still inconsistent after the repair: " << why << "\n";
            return kExitFailure;
        }
        const std::vector<uint64_t> counts = plan.scan.chunksPerStream();
        uint64_t chunks = 0;
        for (const uint64_t c : counts) chunks += c;
        out << "Repaired '" << target << "': " << chunks << " chunks kept in "
            << plan.scan.segments.size() << " segments, " << plan.finalSize << " bytes (read "
            << plan.scan.bytesRead << " bytes of " << plan.scan.fileSize << ")\n";
        return kExitOk;
    } catch (const std::exception& e) {
        err << "iohost repair: '" << o.input << "': " << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace iohost::cli
