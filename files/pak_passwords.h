#pragma once

#include "protection/password_text.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// One entry of the password list: a Pak library file (with or without a folder; only its file-name
// part is compared) and its password.
struct TPakPassword {
    std::string sFileName;
    std::string sPassWord;
    friend bool operator==(const TPakPassword&, const TPakPassword&) = default;
};

// The password list in file order, duplicates allowed. Used on the user-interface thread only.
extern std::vector<TPakPassword> g_PakPasswords;

// kDefaultPakPassword (protection/password_text.h) is the password of list lines that name none
// and of the default entry.
// The name of the password list inside the program folder.
inline constexpr const char* kPakPasswordsFileName = "Pak.txt";

// Replaces g_PakPasswords by the entries read from fileName, or from g_AppDir + "Pak.txt" when
// fileName is empty. A missing file gives the single default entry g_AppDir + "Data/DevovAD.Pak"
// with the default password (nothing is written). Lines are trimmed; empty lines and lines
// starting with the digit 1 are skipped; "name|password|ignored", a missing password means the
// default one. An unreadable file is treated like an empty one.
void LoadPakPasswords(const std::string& fileName = {});

// The password list's file: g_AppDir + "Pak.txt".
std::string PasswordListPath();

// A change of the password list on disk that gives the first entry named like a library (file-name
// part, any case) a new password, the other lines kept as they are.
struct TListedPasswordChange {
    bool Readable = true;              // false: the list is there but cannot be read (see Error)
    bool EntryFound = false;           // an entry names the library: NewBytes and Entries are set
    std::vector<uint8_t> OldBytes;     // the list as it was read (empty without a list)
    std::vector<uint8_t> NewBytes;     // the list with the entry changed, in its encoding
    std::vector<TPakPassword> Entries; // the entries of the changed list
    std::string Error;
};
// Plans that change against the list as it is on disk now (nothing is written).
TListedPasswordChange PlanListedPassword(const std::string& libraryFile,
                                         const std::string& password);

// Writes g_PakPasswords to g_AppDir + "Pak.txt" as "name|password" lines, replacing the file and
// keeping the text encoding it had (UTF-8 for a new file). False when the file could not be
// written; the program goes on without it.
bool SavePakPasswords();

// Whether a password reads back from the list as it was written: it holds no '|' (the field
// separator) and no line break, and does not end in a blank or control character (lines are
// trimmed).
bool PasswordFitsList(const std::string& password);
// Why such a password is refused.
inline constexpr char kUnlistablePasswordText[] = "密码不能含有“|”或换行，也不能以空格结尾！！！";

// The password of the first entry whose file-name part equals that of fileName (case-insensitive,
// folders never compared); empty when none is known.
std::string FindPakPassword(const std::string& fileName);

// Parses the lines of a password list (the lenient rules of LoadPakPasswords) without touching
// g_PakPasswords.
std::vector<TPakPassword> ParsePakPasswordLines(const std::vector<std::string>& lines);

} // namespace velmora
