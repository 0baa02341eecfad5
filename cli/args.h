#pragma once

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmora::cli {

// Exit statuses of the tool; scripts rely on them.
enum TExitCode : int {
    exOk = 0,
    exFailed = 1,        // the operation failed
    exUsage = 2,         // the command line is wrong
    exWrongPassword = 3, // a Pak library's password does not fit
};

// A command line that does not fit the command.
class EUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a command accepts: options that take a value and flags that do not.
struct TCommandSyntax {
    std::set<std::string> ValueOptions;
    std::set<std::string> Flags;
};

// A parsed command line: the positional arguments and the options in their last given value.
struct TArgs {
    std::vector<std::string> Positional;
    std::map<std::string, std::string> Values;
    std::set<std::string> Flags;
    bool Help = false;

    bool Has(const std::string& option) const {
        return Values.count(option) != 0 || Flags.count(option) != 0;
    }
    std::optional<std::string> Value(const std::string& option) const;
    // The value as a whole decimal integer; raises EUsageError for anything else.
    std::optional<int> IntValue(const std::string& option) const;
};

// Parses the arguments after the command name. "--name value" and "--name=value" both work; "--"
// ends the options. Raises EUsageError for unknown options and missing values.
TArgs ParseArgs(const std::vector<std::string>& args, const TCommandSyntax& syntax);

// A whole decimal integer (optional sign); nullopt for anything else or out of 32-bit range.
std::optional<int> ParseInt(const std::string& text);

} // namespace velmora::cli
