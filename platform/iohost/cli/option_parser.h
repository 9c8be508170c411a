// The options of one command, each declared once as a row: its spellings, the name of its value,
// its help line and the setting it fills. The parser takes the options from the rows and `--help`
// shows the same rows, so no option is taken without being documented. Options may stand anywhere
// among the positional arguments ("--name=value" too); "--" ends them.
#pragma once

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace iohost::cli {

// A command line that cannot be taken; the text says why.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A row of an options table as `--help` shows it: "-o, --output OUT" and its explanation, whose
// further lines follow '\n'.
struct OptionHelp {
    std::string head;
    std::string help;
};

// One option of a command whose settings are a `Settings`: a flag sets a bool, an option with a
// value fills an optional string.
template <class Settings>
struct Option {
    constexpr Option(const char* names, const char* help, bool Settings::*flag)
        : names(names), help(help), flag(flag) {}
    constexpr Option(const char* names, const char* argument, const char* help,
                     std::optional<std::string> Settings::*value)
        : names(names), argument(argument), help(help), value(value) {}

    const char* names;               // ", " between spellings: "-y, --overwrite"
    const char* argument = nullptr;  // the value's name in the help, "N"; none for a flag
    const char* help;
    bool Settings::*flag = nullptr;
    std::optional<std::string> Settings::*value = nullptr;
};

// An option as the parser takes it: its spellings and the one target it fills.
struct OptionTarget {
    std::string names;
    bool* flag = nullptr;
    std::optional<std::string>* value = nullptr;
};

// Whether `name` is one of `names`, the spellings of an option ("-y, --overwrite").
[[nodiscard]] bool Spells(std::string_view names, std::string_view name);

// Fills the targets and answers the positional arguments; throws UsageError.
[[nodiscard]] std::vector<std::string> ParseArguments(std::span<const OptionTarget> options,
                                                      const std::vector<std::string>& args);

// Throws UsageError unless there are 1 to `most` positional arguments; `first` names the
// first ("input file").
void CheckPositionals(const std::vector<std::string>& positional, size_t most,
                      std::string_view first);

template <class Settings, size_t N>
[[nodiscard]] std::vector<std::string> ParseArguments(const Option<Settings> (&options)[N],
                                                      const std::vector<std::string>& args,
                                                      Settings& settings) {
    std::vector<OptionTarget> targets;
    for (const Option<Settings>& o : options)
        targets.push_back({o.names, o.flag ? &(settings.*o.flag) : nullptr,
                           o.value ? &(settings.*o.value) : nullptr});
    return ParseArguments(targets, args);
}

// The rows of `kTable` for --help, as a function a command points to.
template <const auto& kTable>
[[nodiscard]] std::vector<OptionHelp> HelpRows() {
    std::vector<OptionHelp> rows;
    for (const auto& o : kTable)
        rows.push_back(
            {std::string(o.names) + (o.argument ? std::string(" ") + o.argument : ""), o.help});
    return rows;
}

}  // namespace iohost::cli
