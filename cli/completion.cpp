#include "cli/completion.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

namespace velmora::cli {

namespace {

using TForms = std::vector<std::vector<std::string>>;

// Library files by their extension: every kind the tool reads, and the kinds it writes.
constexpr const char* kLibraryFiles = "ext:wil:wis:wzl:pak:data";
constexpr const char* kWrittenLibraryFiles = "ext:wil:wzl:pak:data";

bool IsUpper(char c) {
    return std::isupper(static_cast<unsigned char>(c)) != 0;
}
bool IsLower(char c) {
    return std::islower(static_cast<unsigned char>(c)) != 0;
}

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// The completion word of a placeholder of the usage text: LIB a library, DIR a folder, PATH... one
// or more pictures or folders, OUT.png a PNG file; numbers, passwords and texts offer nothing.
std::string PlaceholderKind(std::string name) {
    if (const size_t dot = name.rfind('.'); dot != std::string::npos && dot + 1 < name.size())
        return std::string("ext:").append(Lowered(name.substr(dot + 1)));
    while (name.size() > 1 && std::isdigit(static_cast<unsigned char>(name.back())))
        name.pop_back();
    static const std::map<std::string, std::string> known{
        {"LIB", kLibraryFiles},  {"SRC", kLibraryFiles}, {"DST", kWrittenLibraryFiles},
        {"PAK", "ext:pak:data"}, {"DIR", "dir"},         {"PATH", "ext:bmp:png:tga"},
        {"FILE", "file"},
    };
    if (auto it = known.find(name); it != known.end())
        return it->second;
    static const char* const nothing[] = {"FROM", "TO",  "INDEX", "COUNT",
                                          "OLD",  "NEW", "SIZE",  "PASSWORD"};
    const bool isNumberOrText = name.size() == 1 || name.find(',') != std::string::npos ||
                                std::any_of(std::begin(nothing), std::end(nothing),
                                            [&](const char* word) { return name == word; });
    return isNumberOrText ? "none" : "file";
}

// "PATH..." is repeated: its word ends in "+".
std::string PlaceholderWord(const std::string& placeholder) {
    const bool repeated =
        placeholder.size() > 3 && placeholder.compare(placeholder.size() - 3, 3, "...") == 0;
    if (!repeated)
        return PlaceholderKind(placeholder);
    std::string word = PlaceholderKind(placeholder.substr(0, placeholder.size() - 3));
    word.push_back('+');
    return word;
}

// The synopsis of a usage text: its first line and the lines after it that go on with options
// ("   [--png-level N] ..."), without "velmora-cli NAME", split into words and the brackets,
// parentheses and bars that group them.
std::vector<std::string> SynopsisTokens(const std::string& usage, const std::string& name) {
    std::string synopsis;
    size_t start = 0;
    while (start < usage.size()) {
        size_t end = usage.find('\n', start);
        if (end == std::string::npos)
            end = usage.size();
        const std::string line = usage.substr(start, end - start);
        const size_t text = line.find_first_not_of(' ');
        if (start != 0 &&
            (text == 0 || text == std::string::npos || (line[text] != '[' && line[text] != '(')))
            break;
        synopsis += line + ' ';
        start = end + 1;
    }
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < synopsis.size()) {
        if (synopsis[i] == ' ') {
            ++i;
            continue;
        }
        size_t end = synopsis.find(' ', i);
        std::string word = synopsis.substr(i, end - i);
        i = end;
        size_t first = 0;
        while (first < word.size() && (word[first] == '[' || word[first] == '('))
            tokens.push_back(word.substr(first++, 1));
        size_t last = word.size();
        while (last > first && (word[last - 1] == ']' || word[last - 1] == ')'))
            --last;
        if (last > first)
            tokens.push_back(word.substr(first, last - first));
        for (size_t k = last; k < word.size(); ++k)
            tokens.push_back(word.substr(k, 1));
    }
    if (tokens.size() >= 2 && tokens[0] == "velmora-cli" && tokens[1] == name)
        tokens.erase(tokens.begin(), tokens.begin() + 2);
    return tokens;
}

// Reads the synopsis grammar: words, "[optional]" and "(either | or)" groups. A lower-case word
// at the head of a "( | )" branch is a literal word (atlas export, atlas import); other
// lower-case words ("[options]") say nothing about positions.
class TSynopsisParser {
public:
    TSynopsisParser(std::vector<std::string> tokens, const TCommandSyntax& syntax)
        : FTokens(std::move(tokens)), FSyntax(syntax) {}

    TForms Forms() {
        TForms forms = Sequence(false);
        while (FPos < FTokens.size()) { // an unmatched bracket: read on past it
            ++FPos;
            forms = Product(forms, Sequence(false));
        }
        return forms;
    }

private:
    bool AtGroupEnd() const {
        const std::string& t = FTokens[FPos];
        return t == "|" || t == ")" || t == "]";
    }

    static TForms Product(const TForms& left, const TForms& right) {
        TForms product;
        for (const auto& a : left)
            for (const auto& b : right) {
                std::vector<std::string> form = a;
                form.insert(form.end(), b.begin(), b.end());
                if (std::find(product.begin(), product.end(), form) == product.end())
                    product.push_back(std::move(form));
            }
        return product;
    }

    TForms Alternatives(bool literalHeads, const char* closing) {
        TForms all;
        for (;;) {
            for (auto& form : Sequence(literalHeads))
                if (std::find(all.begin(), all.end(), form) == all.end())
                    all.push_back(std::move(form));
            if (FPos < FTokens.size() && FTokens[FPos] == "|") {
                ++FPos;
                continue;
            }
            break;
        }
        if (FPos < FTokens.size() && FTokens[FPos] == closing)
            ++FPos;
        return all;
    }

    TForms Sequence(bool literalHead) {
        TForms forms{{}};
        bool head = literalHead;
        while (FPos < FTokens.size() && !AtGroupEnd()) {
            const std::string token = FTokens[FPos++];
            std::string word;
            if (token == "[") {
                TForms inner = Alternatives(false, "]");
                if (std::find(inner.begin(), inner.end(), std::vector<std::string>{}) ==
                    inner.end())
                    inner.push_back({});
                forms = Product(forms, inner);
            } else if (token == "(") {
                forms = Product(forms, Alternatives(true, ")"));
            } else if (token[0] == '-') {
                // "--password OLD", "[--format png|bmp]": the option's value is no position.
                if (FSyntax.ValueOptions.count(token) && FPos < FTokens.size() && !AtGroupEnd() &&
                    FTokens[FPos] != "[" && FTokens[FPos] != "(" && FTokens[FPos][0] != '-')
                    ++FPos;
            } else if (IsLower(token[0])) {
                if (head)
                    word = "=" + token;
            } else {
                word = PlaceholderWord(token);
            }
            if (!word.empty())
                for (auto& form : forms)
                    form.push_back(word);
            head = false;
        }
        return forms;
    }

    std::vector<std::string> FTokens;
    const TCommandSyntax& FSyntax;
    size_t FPos = 0;
};

// What the value of an option is, from where the usage text first names the option with a value
// after it: "--format png|bmp|tga|auto" gives the four words, "--data OUT.json" JSON files.
std::string OptionValueWords(const std::string& usage, const std::string& option) {
    for (size_t at = usage.find(option); at != std::string::npos; at = usage.find(option, at + 1)) {
        const size_t after = at + option.size();
        if (at > 0 &&
            (std::isalnum(static_cast<unsigned char>(usage[at - 1])) || usage[at - 1] == '-'))
            continue;
        if (after + 1 >= usage.size() || usage[after] != ' ')
            continue;
        const size_t end = usage.find_first_of(" \n[](),", after + 1);
        const std::string value = usage.substr(after + 1, end - after - 1);
        if (value.empty() || value[0] == '-')
            continue;
        if (value.find('|') != std::string::npos) {
            std::string words;
            size_t from = 0;
            for (;;) {
                const size_t bar = value.find('|', from);
                words.append(words.empty() ? "=" : " =").append(value, from, bar - from);
                if (bar == std::string::npos)
                    break;
                from = bar + 1;
            }
            return words;
        }
        if (IsUpper(value[0]))
            return PlaceholderWord(value);
    }
    return "none";
}

std::string Joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

// The generic part of the script: the walk over the command line and what each word offers.
constexpr const char* kScriptBody = R"BASH(
# Adds to COMPREPLY what one word of a form offers for the text being completed.
_velmora_cli_offer() {
    local word=$1 cur=$2 name lower
    case $word in
    =*) COMPREPLY+=($(compgen -W "${word#=}" -- "$cur")) ;;
    dir)
        compopt -o filenames 2>/dev/null
        while IFS= read -r name; do COMPREPLY+=("$name"); done < <(compgen -d -- "$cur")
        ;;
    file)
        compopt -o filenames 2>/dev/null
        while IFS= read -r name; do COMPREPLY+=("$name"); done < <(compgen -f -- "$cur")
        ;;
    ext:*)
        # Folders too, to reach the files in them; extensions in any case.
        compopt -o filenames 2>/dev/null
        while IFS= read -r name; do
            lower=${name,,}
            if [[ -d $name || ($lower == *.* && ":${word#ext:}:" == *":${lower##*.}:"*) ]]; then
                COMPREPLY+=("$name")
            fi
        done < <(compgen -f -- "$cur")
        ;;
    esac
}

_velmora_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} command=${COMP_WORDS[1]} option= valued= flags= word
    local -a forms=() positional=() words=()
    local -A offered=()
    local i j ended=0 fits
    COMPREPLY=()
    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W "$_velmora_cli_commands help --help --version" -- "$cur"))
        return
    fi
    case $command in
    help | --help | -h)
        ((COMP_CWORD == 2)) && COMPREPLY=($(compgen -W "$_velmora_cli_commands" -- "$cur"))
        return
        ;;
    esac
    _velmora_cli_command "$command" || return
    # The words before the cursor: options with their values ("--format png", or "--format" "="
    # "png" as bash splits "--format=png"), "--" that ends the options, and positional words;
    # negative numbers are positional, as the tool reads them.
    for ((i = 2; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if ((!ended)) && [[ $word == -?* && ! $word =~ ^-[0-9]+$ ]]; then
            if [[ $word == -- ]]; then
                ended=1
            elif [[ " $valued " == *" $word "* ]]; then
                if [[ ${COMP_WORDS[i + 1]} == = ]]; then
                    ((i + 1 == COMP_CWORD)) && cur=
                    ((i + 2 >= COMP_CWORD)) && option=$word
                    ((i += 2))
                else
                    ((i + 1 == COMP_CWORD)) && option=$word
                    ((i += 1))
                fi
            fi
            continue
        fi
        positional+=("$word")
    done
    if [[ -n $option ]]; then
        for word in $(_velmora_cli_value "$command" "$option"); do
            _velmora_cli_offer "$word" "$cur"
        done
        return
    fi
    if ((!ended)) && [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$valued $flags --help" -- "$cur"))
        return
    fi
    # What the forms that fit the literal words given have at this position.
    for word in "${forms[@]}"; do
        read -ra words <<<"$word"
        fits=1
        for ((j = 0; j < ${#positional[@]} && j < ${#words[@]}; j++)); do
            [[ ${words[j]} == =* && ${words[j]} != "=${positional[j]}" ]] && fits=0
        done
        ((fits)) || continue
        if ((${#positional[@]} < ${#words[@]})); then
            offered[${words[${#positional[@]}]%+}]=1
        elif ((${#words[@]} > 0)) && [[ ${words[-1]} == *+ ]]; then
            offered[${words[-1]%+}]=1
        fi
    done
    for word in "${!offered[@]}"; do
        _velmora_cli_offer "$word" "$cur"
    done
    # Past the last position of every form: the options.
    if ((${#offered[@]} == 0 && !ended)); then
        COMPREPLY=($(compgen -W "$valued $flags --help" -- "$cur"))
    fi
}

complete -F _velmora_cli velmora-cli
)BASH";

} // namespace

TCompletionEntry CompletionEntry(const TCommand& command) {
    TCompletionEntry entry;
    entry.Name = command.Name;
    entry.ValueOptions.assign(command.Syntax.ValueOptions.begin(),
                              command.Syntax.ValueOptions.end());
    entry.Flags.assign(command.Syntax.Flags.begin(), command.Syntax.Flags.end());
    entry.Forms =
        TSynopsisParser(SynopsisTokens(command.Usage, command.Name), command.Syntax).Forms();
    for (const std::string& option : entry.ValueOptions)
        entry.OptionValues.emplace_back(option, OptionValueWords(command.Usage, option));
    return entry;
}

std::string BashCompletion(const std::vector<TCommand>& commands) {
    std::vector<std::string> names;
    std::string table, values;
    for (const TCommand& command : commands) {
        const TCompletionEntry entry = CompletionEntry(command);
        names.push_back(entry.Name);
        table += "    " + entry.Name + ")\n";
        table.append("        valued=\"").append(Joined(entry.ValueOptions)).append("\"\n");
        table.append("        flags=\"").append(Joined(entry.Flags)).append("\"\n");
        table += "        forms=(";
        for (size_t i = 0; i < entry.Forms.size(); ++i)
            table.append(i ? " \"" : "\"").append(Joined(entry.Forms[i])).append("\"");
        table += ")\n        ;;\n";
        for (const auto& [option, words] : entry.OptionValues)
            if (words != "none")
                values += "    \"" + entry.Name + " " + option + "\") echo \"" + words + "\" ;;\n";
    }
    std::string script = R"BASH(# bash completion for velmora-cli
# Written by "velmora-cli --completion bash" from the tool's command table, the one its --help
# shows, so that the two always agree.

)BASH";
    script.append("_velmora_cli_commands=\"").append(Joined(names)).append("\"\n");
    script.append(R"BASH(
# A command's options that take a value (valued), those that do not (flags), and the words it
# takes besides options, one form per entry: "=word" a literal word, "ext:a:b" files of those
# extensions, "dir" a folder, "file" any file, "none" nothing to offer; a last word ending in "+"
# repeats.
_velmora_cli_command() {
    case $1 in
)BASH");
    script.append(table).append("    *) return 1 ;;\n    esac\n}\n");
    script.append(R"BASH(
# What the value of a command's option may be, in the words of the forms.
_velmora_cli_value() {
    case "$1 $2" in
)BASH");
    script.append(values).append("    esac\n}\n");
    script += kScriptBody;
    return script;
}

} // namespace velmora::cli
