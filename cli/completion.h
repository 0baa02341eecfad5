#pragma once

#include "cli/commands.h"

#include <string>
#include <vector>

namespace velmora::cli {

// What completion offers for one command, read from its entry in the command table: the options
// its parser accepts, what each option's value is (from the usage text: "--format png|bmp" gives
// choices, "--data OUT.json" JSON files) and the words it takes besides options (from the usage
// synopsis: "atlas (export LIB OUT.png | import LIB ATLAS.json)" gives two forms).
//
// A word is a token of the completion script: "=word" the literal word, "ext:png:json" files with
// one of those extensions (and folders, to reach them), "dir" a folder, "file" any file, "none"
// nothing to offer (numbers, passwords). A trailing "+" repeats the last word of a form for every
// further position.
struct TCompletionEntry {
    std::string Name;
    std::vector<std::string> ValueOptions;
    std::vector<std::string> Flags;
    std::vector<std::vector<std::string>> Forms;
    std::vector<std::pair<std::string, std::string>> OptionValues; // option, its words
};

TCompletionEntry CompletionEntry(const TCommand& command);

// The bash completion script of velmora-cli for the given commands.
std::string BashCompletion(const std::vector<TCommand>& commands);

} // namespace velmora::cli
