#include "files/pak_passwords.h"

#include "core/file_stream.h"
#include "core/recovery.h"
#include "core/utils.h"
#include "files/app_dir.h"
#include "files/text_file.h"

#include <algorithm>
#include <filesystem>

namespace velmora {

std::vector<TPakPassword> g_PakPasswords;

namespace {

// Blanks and control characters (every byte up to the blank) at both ends.
std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && uint8_t(s[b]) <= ' ')
        ++b;
    while (e > b && uint8_t(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

// The file-name part of a path. Both separators count: a list written on Windows names its
// files with backslashes, and a library is found by name wherever it lies.
std::string NamePart(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

} // namespace

std::string PasswordListPath() {
    return g_AppDir + kPakPasswordsFileName;
}

std::vector<TPakPassword> ParsePakPasswordLines(const std::vector<std::string>& lines) {
    std::vector<TPakPassword> entries;
    for (const std::string& raw : lines) {
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '1')
            continue;
        std::string name = line;
        std::string password;
        if (line.find('|') != std::string::npos) {
            std::string third;
            std::string rest = SplitToken(line, name, "|");
            rest = SplitToken(rest, password, "|");
            SplitToken(rest, third, "|");
        }
        if (password.empty())
            password = kDefaultPakPassword;
        if (!name.empty())
            entries.push_back({name, password});
    }
    return entries;
}

void LoadPakPasswords(const std::string& fileName) {
    g_PakPasswords.clear();
    const std::string path = fileName.empty() ? PasswordListPath() : fileName;
    std::vector<std::string> lines;
    if (!ReadTextFile(path, lines) && !FileExists(path)) {
        const std::string defaultLibrary =
            std::string("Data") + char(std::filesystem::path::preferred_separator) + "DevovAD.Pak";
        lines = {g_AppDir + defaultLibrary + "|" + kDefaultPakPassword};
    }
    g_PakPasswords = ParsePakPasswordLines(lines);
    // A password change writes the list along with the library; recovery may finish that.
    SetProgramFiles({path});
}

TListedPasswordChange PlanListedPassword(const std::string& libraryFile,
                                         const std::string& password) {
    TListedPasswordChange change;
    const std::string path = PasswordListPath();
    std::error_code ec;
    if (std::filesystem::exists(path, ec) && !FileExists(path)) {
        change.Readable = false;
        change.Error = path + ": a folder stands where the password list belongs";
        return change;
    }
    if (!FileExists(path))
        return change;
    try {
        change.OldBytes = TFileStream::ReadAll(path);
    } catch (const EFileError& e) {
        change.Readable = false;
        change.Error = e.what();
        return change;
    }
    const TTextEncoding encoding = DetectTextEncoding(change.OldBytes);
    std::vector<std::string> lines = SplitTextLines(DecodeText(change.OldBytes, encoding));
    const std::string name = NamePart(libraryFile);
    for (std::string& line : lines) {
        const std::vector<TPakPassword> entry = ParsePakPasswordLines({line});
        if (!change.EntryFound && entry.size() == 1 &&
            SameText(NamePart(entry.front().sFileName), name)) {
            // Only this line changes; every other line (comments included) stays as it was.
            line = entry.front().sFileName + "|" + password;
            change.EntryFound = true;
        }
    }
    if (!change.EntryFound)
        return change;
    TTextEncoding used;
    change.NewBytes = TextFileBytes(lines, encoding, used);
    change.Entries = ParsePakPasswordLines(lines);
    return change;
}

bool SavePakPasswords() {
    std::vector<std::string> lines;
    lines.reserve(g_PakPasswords.size());
    for (const TPakPassword& entry : g_PakPasswords)
        lines.push_back(entry.sFileName + "|" + entry.sPassWord);
    try {
        RewriteTextFile(PasswordListPath(), lines);
    } catch (const std::exception&) {
        // The password list is a convenience; failing to save it must not stop the program.
        return false;
    }
    return true;
}

bool PasswordFitsList(const std::string& password) {
    if (!password.empty() && uint8_t(password.back()) <= ' ')
        return false;
    return std::none_of(password.begin(), password.end(),
                        [](char c) { return c == '|' || c == '\r' || c == '\n'; });
}

std::string FindPakPassword(const std::string& fileName) {
    const std::string name = NamePart(fileName);
    for (const TPakPassword& entry : g_PakPasswords)
        if (SameText(NamePart(entry.sFileName), name))
            return entry.sPassWord;
    return {};
}

} // namespace velmora
