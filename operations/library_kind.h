#pragma once

#include "core/game_images.h"
#include "formats/library_factory.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// The library kind of a file: ".Wis" is WIS, ".Wzl" WZL, ".Wil" WIL; a ".Pak" file is a Pak
// library when its first bytes carry one of the container's magics ("K7PV4", "Quillrand", or a
// length byte of at least 9 followed by "QUILLRAND", letters in any case) and a WIL library
// otherwise; every other extension (".Data" included) gives WIL.
TImageType LibraryKindOf(const std::string& fileName);

// A Pak file shorter than this ends inside its header: damaged, whatever the password.
constexpr uintmax_t kPakShortestHeaderEnd = 262;

// True when the first bytes of a file carry one of the Pak container's magics.
bool HasPakMagic(const std::string& fileName);

// The outcome of opening a library file without a user to ask.
enum class TOpenStatus : uint8_t {
    osOpened,        // Library holds the opened, read library
    osMissing,       // the file does not exist
    osWrongPassword, // a Pak library whose password does not fit
    osFailed,        // the file could not be read (damaged, refused, or a read error)
};

struct TOpenResult {
    TOpenStatus Status = TOpenStatus::osFailed;
    std::unique_ptr<TGameImages> Library;
    // The password that opened a Pak library, or the one that was tried.
    std::string PassWord;
    // Why the file did not open (empty when it did); it names a file only when that is not the
    // library's data file, which the caller names.
    std::string Error;
    // What the recovery of an interrupted save has to say (see TRecoveryReport).
    std::vector<std::string> Warnings;
    bool Opened() const { return Status == TOpenStatus::osOpened; }
};

// The password a Pak library is opened with when no user can be asked: the given one, else the
// password list's entry for the file's name (FindPakPassword), else the default password.
std::string PakPasswordFor(const std::string& fileName, const std::optional<std::string>& given);

// Gives a Pak library a password and checks it (InputPassWord, CheckPassword). False for a
// library of another kind.
bool TryPakPassword(TGameImages& library, const std::string& password);

// Opens and reads the library at path: the kind comes from LibraryKindOf, a Pak library gets the
// password of PakPasswordFor, then Initialize reads it. onRead, when given, is installed as the
// library's OnRead event for the read.
TOpenResult OpenLibraryFile(const std::string& path,
                            const std::optional<std::string>& password = std::nullopt,
                            const TNotifyEvent& onRead = {});

} // namespace velmora
