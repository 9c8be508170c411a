// The options of one command: flags and options with a value, by their short and long names,
// anywhere among the positional arguments ("--name=value" too); "--" ends the options.
#pragma once

#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace iohost::cli {

// A command line that cannot be taken; the text says why.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class OptionParser {
public:
    OptionParser& flag(std::initializer_list<const char*> names, bool& target);
    OptionParser& value(std::initializer_list<const char*> names,
                        std::optional<std::string>& target);

    // Fills the targets and answers the positional arguments; throws UsageError.
    [[nodiscard]] std::vector<std::string> parse(const std::vector<std::string>& args) const;

private:
    struct Option {
        std::vector<std::string> names;
        bool* flag = nullptr;
        std::optional<std::string>* value = nullptr;
    };
    [[nodiscard]] const Option* find(const std::string& name) const;

    std::vector<Option> m_options;
};

}  // namespace iohost::cli
