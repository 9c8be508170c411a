#include "platform/iohost/cli/cli.h"

#include <algorithm>
#include <cctype>
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

#include "platform/iohost/files/output_guard.h"
#include "platform/iohost/host/host.h"
#include "platform/iohost/module/plugin_module.h"

namespace iohost::cli {

namespace {

constexpr const Command* kCommands[] = {&kInfo, &kEncode, &kInspect, &kDecode, &kRepair, &kJoin};

// What the options of every command ask for.
struct GlobalLine {
    std::optional<std::string> module;
    bool verbose = false, quiet = false, help = false, version = false;
};

// The options of every command, taken wherever they stand.
constexpr Option<GlobalLine> kGlobalOptions[] = {
    {"--module", "PATH",
     "plug-in module to load (default: the product's module next to this\nprogram)",
     &GlobalLine::module},
    {"-v, --verbose", "echo the plug-in's log messages to standard error", &GlobalLine::verbose},
    {"-q, --quiet", "no summary, warnings or progress; errors only", &GlobalLine::quiet},
    {"-h, --help", "show this help and exit", &GlobalLine::help},
    {"--version", "show the program version and exit", &GlobalLine::version},
};

// The column where the explanations start: two spaces after the widest head, indented by two.
size_t HelpColumn(std::span<const OptionHelp> rows) {
    size_t widest = 0;
    for (const OptionHelp& row : rows) widest = std::max(widest, row.head.size());
    return widest + 4;
}

// Prints the rows with their explanations in `column`.
void PrintRows(std::span<const OptionHelp> rows, size_t column, std::ostream& out) {
    for (const OptionHelp& row : rows) {
        std::string head = "  " + row.head;
        std::istringstream lines(row.help);
        for (std::string line; std::getline(lines, line); head.clear()) {
            head.resize(column, ' ');
            out << head << line << "\n";
        }
    }
}

void PrintUsage(std::ostream& out) {
    out << "usage: iohost <command> [options]\n"
           "\n"
           "Drives the encoder plug-in module as a host application does.\n"
           "\n"
           "Commands:\n";
    std::vector<OptionHelp> table;
    for (const Command* command : kCommands)
        table.push_back({std::string(command->name) + " " + command->synopsis, command->summary});
    PrintRows(table, HelpColumn(table), out);
    out << "\nOptions of every command (in any position):\n";
    const std::vector<OptionHelp> global = HelpRows<kGlobalOptions>();
    PrintRows(global, HelpColumn(global), out);
    out << "\nRun 'iohost <command> --help' for the options of one command.\n";
}

void PrintCommandUsage(const Command& command, std::ostream& out) {
    out << "usage: iohost " << command.name;
    if (*command.synopsis != '\0') out << " " << command.synopsis;
    out << " [options]\n\n" << command.summary << "\n";
    const std::vector<OptionHelp> options =
        command.options ? command.options() : std::vector<OptionHelp>{};
    const std::vector<OptionHelp> global = HelpRows<kGlobalOptions>();
    const size_t column = std::max(HelpColumn(options), HelpColumn(global));
    if (!options.empty()) out << "\nOptions:\n";
    PrintRows(options, column, out);
    if (*command.notes != '\0') out << "\n" << command.notes;
    out << "\nOptions of every command:\n";
    PrintRows(global, column, out);
}

const Command* FindCommand(const std::string& name) {
    for (const Command* command : kCommands) {
        if (name == command->name) return command;
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

const Option<GlobalLine>* FindGlobalOption(const std::string& name) {
    for (const Option<GlobalLine>& option : kGlobalOptions)
        if (Spells(option.names, name)) return &option;
    return nullptr;
}

// Takes the options of every command wherever they stand, up to "--"; the rest is the command's.
// Answers an exit status when the command line ends here (--version, a missing value).
std::optional<int> TakeGlobalOptions(const std::vector<std::string>& args, GlobalLine& line,
                                     std::vector<std::string>& rest, std::ostream& out,
                                     std::ostream& err) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            rest.insert(rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            break;
        }
        const size_t equals = arg.find('=');
        const Option<GlobalLine>* option = FindGlobalOption(arg.substr(0, equals));
        if (option == nullptr || (option->flag && equals != std::string::npos)) {
            rest.push_back(arg);
        } else if (option->flag) {
            line.*option->flag = true;
        } else if (equals != std::string::npos) {
            line.*option->value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            line.*option->value = args[++i];
        } else {
            std::string message = arg + " needs a ";
            for (const char* c = option->argument; *c != '\0'; ++c)
                message += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
            return UsageFailure(err, message);
        }
        if (line.version) {
            out << "iohost " PARVOLUX_VERSION " (host interface version " << kHostInterfaceVersion
                << ")\n";
            return kExitOk;
        }
    }
    return std::nullopt;
}

// A command's usage errors and refused outputs, said for it.
int RunCommand(const Command& command, Context& context) {
    try {
        return command.run(context);
    } catch (const UsageError& e) {
        context.error() << e.what() << "\n";
        return kExitUsage;
    } catch (const OutputRefused& e) {
        context.error() << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace

std::span<const Command* const> Commands() {
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

std::ostream& Context::error() const {
    return err << "iohost " << command << ": ";
}

void Warn(const Context& context, const std::string& text) {
    if (!context.options.quiet) context.error() << "warning: " << text << "\n";
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        GlobalLine line;
        std::vector<std::string> rest;
        if (const std::optional<int> done = TakeGlobalOptions(args, line, rest, out, err))
            return *done;
        const GlobalOptions options{line.module.value_or(""), line.verbose, line.quiet};
        // The command is the first word that names one; options may come before it.
        const Command* command = nullptr;
        auto at = rest.begin();
        for (; at != rest.end() && command == nullptr; ++at) command = FindCommand(*at);
        if (command != nullptr) rest.erase(at - 1);
        if (line.help) {
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
        Context context{options, rest, out, err, command->name};
        Host::instance().log().setEcho(options.verbose);
        return RunCommand(*command, context);
    } catch (const std::exception& e) {
        err << "iohost: " << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace iohost::cli
