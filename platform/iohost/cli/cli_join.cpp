#include <memory>
#include <optional>

#include "fileio/platform_file.h"
#include "platform/iohost/cli/cli.h"
#include "platform/iohost/cli/option_parser.h"
#include "platform/iohost/files/output_guard.h"
#include "platform/iohost/session/part_range.h"

namespace iohost::cli {

int RunJoin(Context& context) {
    std::ostream& err = context.err;
    bool overwrite = false;
    std::vector<std::string> paths;
    try {
        OptionParser parser;
        parser.flag({"-y", "--overwrite"}, overwrite);
        paths = parser.parse(context.args);
        if (paths.empty()) throw UsageError("no output file");
        if (paths.size() < 2) throw UsageError("no parts to join");
        if (paths.front() == "-")
            throw UsageError("OUT must be a file: an AVI file is finished by writing to its start");
    } catch (const UsageError& e) {
        err << "iohost join: " << e.what() << "\n";
        return kExitUsage;
    }
    const std::string output = paths.front();
    const std::vector<std::string> inputs(paths.begin() + 1, paths.end());

    std::optional<OutputGuard> guard;
    std::vector<std::unique_ptr<fileio::PlatformFile>> files;
    std::vector<fileio::File*> handles;
    std::vector<JoinPart> parts;
    try {
        guard.emplace(output, overwrite, inputs);
        for (const std::string& path : inputs) {
            files.push_back(std::make_unique<fileio::PlatformFile>());
            if (!files.back()->open(path.c_str(), fileio::File::Read | fileio::File::ShareRead))
                throw JoinRefused("cannot open '" + path + "'");
            handles.push_back(files.back().get());
            parts.push_back(ReadPart(*files.back(), path));
        }
        CheckParts(parts);
    } catch (const std::exception& e) {
        err << "iohost join: " << e.what() << "\n";
        return kExitFailure;
    }

    try {
        guard->create();
        fileio::PlatformFile out;
        if (!out.open(guard->writePath().c_str(), fileio::File::Write))
            throw std::runtime_error("cannot open '" + guard->writePath() + "' for writing");
        JoinParts(out, parts, handles);
        out.close();
        guard->commit();
    } catch (const std::exception& e) {
        guard->discardIfCreated();
        err << "iohost join: " << e.what() << "\n";
        return kExitFailure;
    }
    if (!context.options.quiet) {
        const PartRange &first = parts.front().range, &last = parts.back().range;
        err << "Joined " << parts.size() << (parts.size() == 1 ? " part" : " parts") << " into '"
            << output << "': frames " << first.first << "-" << last.first + last.frames - 1
            << (last.last ? ", to the input's end\n" : ", not to the input's end\n");
    }
    return kExitOk;
}

}  // namespace iohost::cli
