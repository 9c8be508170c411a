#include "platform/iohost/cli/cli.h"

#include <algorithm>
#include <exception>
#include <iostream>
#include <sstream>

#ifdef _WIN32
#include <io.h>
#define IOHOST_ISATTY _isatty
#else
#include <unistd.h>
#define IOHOST_ISATTY isatty
#endif

#include "platform/iohost/host/host.h"
#include "platform/iohost/module/plugin_module.h"

namespace iohost::cli {

namespace {

constexpr Command kCommands[] = {
    {"info", "", "show the plug-in, its container and its codec table", &RunInfo},
    {"encode", "OUT.avi INPUT|-|--pattern", "encode video (and audio) into an AVI file", &RunEncode,
     "INPUT\ta YUV4MPEG2 file, '-' for a YUV4MPEG2 pipe (ffmpeg -f yuv4mpegpipe), or raw\n"
     "\tframes with --pix (ffmpeg -f rawvideo)\n"
     "--pattern\tthe built-in moving test pattern instead of an INPUT\n"
     "--codec NAME|4CC\tcodec by name (\"10-bit YUV 422\") or code (P0Y2); default: the one\n"
     "\tthat keeps every bit of the input\n"
     "--allow-bit-loss\taccept a codec that keeps fewer bits per sample than the input\n"
     "--pix PIXFMT\tINPUT is raw frames of this layout: rgb24, rgba, gbrp10le, gbrap12le,\n"
     "\tgbrp14le, rgb48le, yuv420p10le, ... (needs --size and --rate)\n"
     "--size WxH\tframe size of raw frames or of the pattern (default 1280x720)\n"
     "--rate R\tframe rate of raw frames or of the pattern: 25, 30000/1001, 29.97\n"
     "\t(exactly 30000/1001), 23.976, 59.94; default 25\n"
     "--frames N\tstop after N frames (the pattern: default 100)\n"
     "--format PIXFMT\tlayout of the pattern: yuv422p (default), yuv420p10le, gbrp12le, ...\n"
     "--audio FILE.wav\taudio from a WAV file (PCM 16/24/32-bit or 32-bit float, 1-8 ch)\n"
     "--tone\taudio: a built-in stereo tone (without --audio or --tone: no audio)\n"
     "--jobs N\trun N encoders on N threads (the same file as --jobs 1)\n"
     "-y, --overwrite\treplace OUT when it exists: the new file is written beside it\n"
     "\tand takes its place only when the export is complete; a file that\n"
     "\tanother program is writing is refused\n"
     "--progress\tshow the progress line even when standard error is not a terminal\n"
     "--resume\tcontinue OUT, an export of the same input and settings that was killed,\n"
     "\trepaired or stopped, from its first missing frame; the file ends as an\n"
     "\texport never interrupted would have left it. OUT is checked first (headers,\n"
     "\tthe last frame re-encoded, the last audio chunk) and left untouched when it\n"
     "\tdoes not match. Without OUT: an ordinary export\n"
     "--start-frame N\tencode a part: frames N to N+M-1 (--frames M; default: to the end),\n"
     "\tthe sound cut where a whole export cuts it; 'iohost join' puts parts together\n"
     "\n"
#ifdef _WIN32
     "Ctrl-C, Ctrl-Break or closing the console stops reading and finishes the file with\n"
     "the frames so far (exit 130, 149 or 129). OUT is never the same file as an input.\n"},
#else
     "Ctrl-C, SIGTERM or SIGHUP stops reading and finishes the file with the frames so far\n"
     "(exit 130, 143 or 129). OUT is never the same file as an input.\n"},
#endif
    {"inspect", "FILE.avi", "print an AVI file's structure and check its indexes", &RunInspect,
     "\n"
     "Prints the chunk tree, the streams and their chunk counts, then every inconsistency\n"
     "found between headers, indexes and chunks. A file whose export was interrupted is\n"
     "reported as unfinished: its segments, complete chunks per stream, torn tail and what\n"
     "'iohost repair' would do.\n"
     "\n"
     "Exit status: 0 consistent, 1 inconsistent or unreadable, 2 usage error,\n"
     "3 unfinished and repairable, 4 in use by another program.\n"},
    {"decode", "FILE.avi [-o OUT|-]", "decode the video (and audio) of an AVI file", &RunDecode,
     "-o, --output OUT\tdecoded video, '-' for standard output: YUV4MPEG2 for YUV, raw\n"
     "\tframes for RGB (gbrp10le/gbrp12le for 10/12-bit RGB, rgb48le for 14-bit)\n"
     "--pix PIXFMT\twrite exactly this layout: the file's colour model, chroma and alpha,\n"
     "\tat its depth or more (yuv422p10le, gbrp12le, rgb48le, ...); anything else is\n"
     "\trefused before a frame is written. Also the layout of a raw SOURCE\n"
     "--allow-bit-loss\taccept a --pix layout with fewer bits than the file keeps (the\n"
     "\ttop bits are kept)\n"
     "--verify SOURCE\tcompare every frame with a YUV4MPEG2 or raw source ('-' for standard\n"
     "\tinput), every stored bit of it; exits 1 at the first difference\n"
     "--size WxH\tframe size of a raw SOURCE (default: the file's frame size)\n"
     "--audio-out FILE.wav\textract the first audio track to a WAV file\n"
     "--jobs N\tdecode N frames at once on N threads (default 1)\n"
     "-y, --overwrite\treplace outputs that exist, once the run succeeds\n"
     "--progress\tshow the progress line even when standard error is not a terminal\n"
     "\n"
     "A frame that does not decode ends the run: the frames before it are written and the\n"
     "output finished, and the frame is named (exit 1). Ctrl-C, SIGTERM or SIGHUP stop it the\n"
     "same way at a frame boundary (exit 128 + the signal).\n"},
    {"repair", "FILE.avi [-o OUT.avi] [--dry-run]",
     "finish an AVI file whose export was interrupted", &RunRepair,
     "-o, --output OUT\twrite the repaired file to OUT and leave FILE unchanged\n"
     "-y, --overwrite\tallow -o to replace an existing OUT (never FILE itself)\n"
     "-n, --dry-run\tonly report what repair would do\n"
     "\n"
     "Keeps every complete chunk where it lies, drops a torn tail and writes what closing the\n"
     "file would have written: the result is the file the export gives when stopped after the\n"
     "same frames. Reads the chunk headers and decodes the last frame of the video: a frame\n"
     "that does not decode (a full disk can leave one whose size was cut to the bytes written)\n"
     "is dropped with all after it. A finished file whose frames decode is left alone; a file\n"
     "this plug-in did not write, or one damaged before its header ended, is refused,\n"
     "unchanged. The result is checked as inspect checks it before it is called repaired.\n"
     "\n"
     "Exit status: 0 repaired or nothing to repair, 1 refused or failed, 2 usage error,\n"
     "4 in use by another program.\n"},
    {"join", "OUT.avi PART.avi...", "join parts of one export into the file it would write",
     &RunJoin,
     "-y, --overwrite\treplace OUT when it exists (written beside it, as encode does)\n"
     "\n"
     "The parts are exports of consecutive frame ranges of one input with the same settings\n"
     "(encode --start-frame N --frames M), given in order. Their chunks are copied through\n"
     "the AVI writer, so OUT is byte for byte the file a single export writes. Parts of\n"
     "other inputs' formats or settings, gaps and overlaps are refused with the reason.\n"},
};

constexpr const char* kGlobalOptions =
    "--module PATH\tplug-in module to load (default: the product's module next to this\n"
    "\tprogram)\n"
    "-v, --verbose\techo the plug-in's log messages to standard error\n"
    "-q, --quiet\tno summary, warnings or progress; errors only\n"
    "-h, --help\tshow this help and exit\n"
    "--version\tshow the program version and exit\n";

// The column where the explanations of "OPTION\tEXPLANATION" lines start.
size_t OptionColumn(const std::string& text) {
    size_t column = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (const size_t tab = line.find('\t'); tab != std::string::npos && tab > 0)
            column = std::max(column, tab);
    return column + 4;
}

// Prints "OPTION\tEXPLANATION" lines with the explanations in `column`; from the first blank
// line on, free text as it is.
void PrintOptions(const std::string& text, size_t column, std::ostream& out) {
    std::istringstream lines(text);
    bool options = true;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty()) options = false;
        const size_t tab = line.find('\t');
        if (!options || tab == std::string::npos) {
            out << line << "\n";
            continue;
        }
        std::string head = "  " + line.substr(0, tab);
        head.resize(column, ' ');
        out << head << line.substr(tab + 1) << "\n";
    }
}

void PrintUsage(std::ostream& out) {
    out << "usage: iohost <command> [options]\n"
           "\n"
           "Drives the encoder plug-in module as a host application does.\n"
           "\n"
           "Commands:\n";
    std::string table;
    for (const Command& command : kCommands)
        table += std::string(command.name) + " " + command.synopsis + "\t" + command.summary + "\n";
    PrintOptions(table, OptionColumn(table), out);
    out << "\nOptions of every command (in any position):\n";
    PrintOptions(kGlobalOptions, OptionColumn(kGlobalOptions), out);
    out << "\nRun 'iohost <command> --help' for the options of one command.\n";
}

void PrintCommandUsage(const Command& command, std::ostream& out) {
    out << "usage: iohost " << command.name;
    if (*command.synopsis != '\0') out << " " << command.synopsis;
    out << " [options]\n\n" << command.summary << "\n";
    const std::string details = command.details;
    const size_t column = std::max(OptionColumn(details), OptionColumn(kGlobalOptions));
    if (!details.empty()) out << (details.front() == '\n' ? "" : "\nOptions:\n");
    PrintOptions(details, column, out);
    out << "\nOptions of every command:\n";
    PrintOptions(kGlobalOptions, column, out);
}

const Command* FindCommand(const std::string& name) {
    for (const Command& command : kCommands) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

bool IsTerminal(int fd) {
    return IOHOST_ISATTY(fd) != 0;
}

int UsageFailure(std::ostream& err, const std::string& message) {
    err << "iohost: " << message << "\n"
        << "Run 'iohost --help' for usage.\n";
    return kExitUsage;
}

}  // namespace

std::span<const Command> Commands() {
    return kCommands;
}

std::string ResolveModulePath(const GlobalOptions& options) {
    return options.modulePath.empty() ? PathNextToExecutable(DefaultModuleFileName())
                                      : options.modulePath;
}

bool LoadPlugin(const Context& context, std::optional<PluginModule>& module) {
    const std::string path = ResolveModulePath(context.options);
    try {
        module.emplace(path);
    } catch (const ModuleError& e) {
        context.err << "iohost: " << e.what() << "\n";
        if (context.options.modulePath.empty())
            context.err << "Use --module PATH to load a module from elsewhere.\n";
        return false;
    }
    if (const int32_t init = module->initialize(); init != errNone) {
        context.err << "iohost: pluginInit of '" << path << "' answered " << init << "\n";
        module.reset();
        return false;
    }
    return true;
}

bool ErrIsTerminal(const Context& context) {
    return &context.err == &std::cerr && IsTerminal(2);
}

void Warn(const Context& context, const std::string& command, const std::string& text) {
    if (!context.options.quiet)
        context.err << "iohost " << command << ": warning: " << text << "\n";
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        // The global options are taken wherever they stand; the rest is the command's.
        GlobalOptions options;
        std::vector<std::string> rest;
        bool help = false;
        for (size_t i = 0; i < args.size(); ++i) {
            const std::string& arg = args[i];
            if (arg == "--") {
                rest.insert(rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
                break;
            }
            if (arg == "-h" || arg == "--help") {
                help = true;
            } else if (arg == "--version") {
                out << "iohost " PARVOLUX_VERSION " (host interface version "
                    << kHostInterfaceVersion << ")\n";
                return kExitOk;
            } else if (arg == "-v" || arg == "--verbose") {
                options.verbose = true;
            } else if (arg == "-q" || arg == "--quiet") {
                options.quiet = true;
            } else if (arg == "--module") {
                if (i + 1 >= args.size()) return UsageFailure(err, "--module needs a path");
                options.modulePath = args[++i];
            } else if (arg.rfind("--module=", 0) == 0) {
                options.modulePath = arg.substr(9);
            } else {
                rest.push_back(arg);
            }
        }
        // The command is the first word that names one; options may come before it.
        const Command* command = nullptr;
        auto at = rest.begin();
        for (; at != rest.end() && command == nullptr; ++at) command = FindCommand(*at);
        if (command != nullptr) rest.erase(at - 1);
        if (help) {
            if (command != nullptr) {
                PrintCommandUsage(*command, out);
            } else {
                PrintUsage(out);
            }
            return kExitOk;
        }
        if (command == nullptr && rest.empty()) {
            PrintUsage(err);
            return kExitUsage;
        }
        if (command == nullptr) {
            for (const std::string& word : rest)
                if (word.size() < 2 || word[0] != '-')
                    return UsageFailure(err, "unknown command '" + word + "'");
            return UsageFailure(err, "unknown option '" + rest.front() + "'");
        }
        Context context{options, rest, out, err};
        Host::instance().log().setEcho(options.verbose);
        return command->run(context);
    } catch (const std::exception& e) {
        err << "iohost: " << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace iohost::cli
