#pragma once

#include "cli/args.h"
#include "core/game_images.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora::cli {

// One command of the tool: its name, its usage text and its body. A body gets the arguments after
// the command name and returns the exit status; it raises EUsageError for a wrong command line.
struct TCommand {
    const char* Name;
    const char* Usage; // first line: the synopsis; then what it does and its options
    TCommandSyntax Syntax;
    int (*Run)(const TArgs& args);
};

const std::vector<TCommand>& Commands();

// Opens a library for a command, after a save of it that was cut short is settled (a Pak's
// password from the password list unless one is given). Prints warnings (damage, what the
// recovery found) and the failure, and sets `exitCode` (1, or 3 for a wrong password) when it
// does not open.
std::unique_ptr<TGameImages>
OpenForCommand(const std::string& path, const std::optional<std::string>& password, int& exitCode);

// Warns on stderr when a library opened with its index missing or not matching its data file.
void WarnOfDamage(const std::string& name, const TGameImages& library);

// Prints why a library takes no edit and returns the exit status 1; exOk when it takes them.
int RefuseEdit(const std::string& name, const TGameImages& library, bool offsetsOnly = false);

// The picture format named on the command line (png, bmp, tga, auto; any case).
std::optional<uint8_t> FormatByName(const std::string& name);

// The library kind's name in output: "wil", "wis", "wzl" or "pak".
const char* KindName(TImageType kind);

int RunInfo(const TArgs& args);
int RunList(const TArgs& args);
int RunExport(const TArgs& args);
int RunImport(const TArgs& args);
int RunDelete(const TArgs& args);
int RunOffset(const TArgs& args);
int RunCreate(const TArgs& args);
int RunConvert(const TArgs& args);
int RunPasswd(const TArgs& args);
int RunRepair(const TArgs& args);
int RunAtlas(const TArgs& args);
int RunCheck(const TArgs& args);
int RunCopy(const TArgs& args);
int RunDiff(const TArgs& args);

// Raises EUsageError unless the number of positional arguments lies in [min, max].
void ExpectPositional(const TArgs& args, size_t min, size_t max);

} // namespace velmora::cli
