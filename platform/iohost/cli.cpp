#include "platform/iohost/cli.h"

#include <algorithm>
#include <exception>

#include "platform/iohost/host.h"
#include "platform/iohost/plugin_module.h"

namespace iohost::cli {

namespace {

constexpr Command kCommands[] = {
    {"info", "", "show the plug-in, its container and its codec table", &RunInfo},
};

void PrintUsage(std::ostream& out) {
    out << "usage: iohost [options] <command> [command options]\n"
           "\n"
           "Drives the encoder plug-in module as a host application does.\n"
           "\n"
           "Commands:\n";
    for (const Command& command : kCommands) {
        std::string head = std::string(command.name) + " " + command.synopsis;
        head.resize(std::max<size_t>(head.size(), 14), ' ');
        out << "  " << head << command.summary << "\n";
    }
    out << "\n"
           "Options:\n"
           "  --module PATH     plug-in module to load (default: "
        << DefaultModuleFileName()
        << "\n"
           "                    next to this program)\n"
           "  -v, --verbose     echo the plug-in's log messages to standard error\n"
           "  -h, --help        show this help and exit\n"
           "  --version         show the program version and exit\n"
           "\n"
           "Run 'iohost <command> --help' for the options of one command.\n";
}

void PrintCommandUsage(const Command& command, std::ostream& out) {
    out << "usage: iohost [options] " << command.name;
    if (*command.synopsis != '\0') out << " " << command.synopsis;
    out << "\n\n" << command.summary << "\n";
}

const Command* FindCommand(const std::string& name) {
    for (const Command& command : kCommands) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

int UsageError(std::ostream& err, const std::string& message) {
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

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        GlobalOptions options;
        size_t i = 0;
        for (; i < args.size(); ++i) {
            const std::string& arg = args[i];
            if (arg == "-h" || arg == "--help") {
                PrintUsage(out);
                return kExitOk;
            }
            if (arg == "--version") {
                out << "iohost 0.1.0 (host interface version " << kHostInterfaceVersion << ")\n";
                return kExitOk;
            }
            if (arg == "-v" || arg == "--verbose") {
                options.verbose = true;
            } else if (arg == "--module") {
                if (i + 1 >= args.size()) return UsageError(err, "--module needs a path");
                options.modulePath = args[++i];
            } else if (arg.rfind("--module=", 0) == 0) {
                options.modulePath = arg.substr(9);
            } else if (arg.size() > 1 && arg[0] == '-') {
                return UsageError(err, "unknown option '" + arg + "'");
            } else {
                break;
            }
        }
        if (i == args.size()) {
            PrintUsage(err);
            return kExitUsage;
        }
        const Command* command = FindCommand(args[i]);
        if (command == nullptr) return UsageError(err, "unknown command '" + args[i] + "'");

        Context context{
            options, {args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end()}, out, err};
        for (const std::string& arg : context.args) {
            if (arg == "-h" || arg == "--help") {
                PrintCommandUsage(*command, out);
                return kExitOk;
            }
        }
        Host::instance().log().setEcho(options.verbose);
        return command->run(context);
    } catch (const std::exception& e) {
        err << "iohost: " << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace iohost::cli
