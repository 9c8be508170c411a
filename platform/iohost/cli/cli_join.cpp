#include <memory>
#include <optional>

#include "fileio/platform_file.h"
#include "platform/iohost/cli/cli.h"
#include "platform/iohost/cli/option_parser.h"
#include "platform/iohost/files/output_guard.h"
#include "platform/iohost/session/part_range.h"

namespace iohost::cli {

namespace {

struct JoinOptions {
    bool overwrite = false;
};

constexpr Option<JoinOptions> kOptions[] = {
    {"-y, --overwrite", "replace OUT when it exists (written beside it, as encode does)",
     &JoinOptions::overwrite},
};

// Opens every part and checks that they follow each other.
std::vector<JoinPart> ReadParts(const std::vector<std::string>& inputs,
                                std::vector<std::unique_ptr<fileio::PlatformFile>>& files) {
    std::vector<JoinPart> parts;
    for (const std::string& path : inputs) {
        files.push_back(std::make_unique<fileio::PlatformFile>());
        if (!files.back()->open(path.c_str(), fileio::File::Read | fileio::File::ShareRead))
            throw JoinRefused("cannot open '" + path + "'");
        parts.push_back(ReadPart(*files.back(), path));
    }
    CheckParts(parts);
    return parts;
}

void WriteJoined(OutputGuard& guard, const std::vector<JoinPart>& parts,
                 const std::vector<std::unique_ptr<fileio::PlatformFile>>& files) {
    std::vector<fileio::File*> handles;
    handles.reserve(files.size());
    for (const auto& file : files) handles.push_back(file.get());
    guard.create();
    fileio::PlatformFile out;
    if (!out.open(guard.writePath().c_str(), fileio::File::Write))
        throw std::runtime_error("cannot open '" + guard.writePath() + "' for writing");
    JoinParts(out, parts, handles);
    out.close();
    guard.commit();
}

int RunJoin(Context& context) {
    JoinOptions o;
    const std::vector<std::string> paths = ParseArguments(kOptions, context.args, o);
    if (paths.empty()) throw UsageError("no output file");
    if (paths.size() < 2) throw UsageError("no parts to join");
    if (paths.front() == "-")
        throw UsageError("OUT must be a file: an AVI file is finished by writing to its start");
    const std::string& output = paths.front();
    const std::vector<std::string> inputs(paths.begin() + 1, paths.end());

    std::optional<OutputGuard> guard;
    std::vector<std::unique_ptr<fileio::PlatformFile>> files;
    std::vector<JoinPart> parts;
    try {
        guard.emplace(output, o.overwrite, inputs);
        parts = ReadParts(inputs, files);
    } catch (const std::exception& e) {
        context.error() << e.what() << "\n";
        return kExitFailure;
    }
    try {
        WriteJoined(*guard, parts, files);
    } catch (const std::exception& e) {
        guard->discardIfCreated();
        context.error() << e.what() << "\n";
        return kExitFailure;
    }
    if (!context.options.quiet) {
        const PartRange &first = parts.front().range, &last = parts.back().range;
        context.err << "Joined " << parts.size() << (parts.size() == 1 ? " part" : " parts")
                    << " into '" << output << "': frames " << first.first << "-"
                    << last.first + last.frames - 1
                    << (last.last ? ", to the input's end\n" : ", not to the input's end\n");
    }
    return kExitOk;
}

}  // namespace

constexpr Command kJoin{
    "join",
    "OUT.avi PART.avi...",
    "join parts of one export into the file it would write",
    &RunJoin,
    &HelpRows<kOptions>,
    "The parts are exports of consecutive frame ranges of one input with the same settings\n"
    "(encode --start-frame N --frames M), given in order. Their chunks are copied through\n"
    "the AVI writer, so OUT is byte for byte the file a single export writes. Parts of\n"
    "other inputs' formats or settings, gaps and overlaps are refused with the reason.\n"};

}  // namespace iohost::cli
