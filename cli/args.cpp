#include "cli/args.h"

#include <charconv>

namespace velmora::cli {

std::optional<int> ParseInt(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (*begin == '+')
        ++begin;
    int value = 0;
    auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end || begin == end)
        return std::nullopt;
    return value;
}

std::optional<std::string> TArgs::Value(const std::string& option) const {
    auto it = Values.find(option);
    if (it == Values.end())
        return std::nullopt;
    return it->second;
}

std::optional<int> TArgs::IntValue(const std::string& option) const {
    std::optional<std::string> text = Value(option);
    if (!text)
        return std::nullopt;
    std::optional<int> value = ParseInt(*text);
    if (!value)
        throw EUsageError(option + " needs a whole number, not \"" + *text + "\"");
    return value;
}

TArgs ParseArgs(const std::vector<std::string>& args, const TCommandSyntax& syntax) {
    TArgs parsed;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // Negative numbers ("-5") are positional arguments, as offsets and indexes may be.
        const bool looksLikeOption =
            !optionsEnded && arg.size() > 1 && arg[0] == '-' && !ParseInt(arg).has_value();
        if (!looksLikeOption) {
            parsed.Positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            parsed.Help = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (const size_t eq = arg.find('='); eq != std::string::npos) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        if (syntax.Flags.count(name)) {
            if (inlineValue)
                throw EUsageError(name + " takes no value");
            parsed.Flags.insert(name);
        } else if (syntax.ValueOptions.count(name)) {
            if (inlineValue) {
                parsed.Values[name] = *inlineValue;
            } else {
                if (i + 1 >= args.size())
                    throw EUsageError(name + " needs a value");
                parsed.Values[name] = args[++i];
            }
        } else {
            throw EUsageError("unknown option " + name);
        }
    }
    return parsed;
}

} // namespace velmora::cli
