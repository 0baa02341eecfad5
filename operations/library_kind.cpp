#include "operations/library_kind.h"

#include "core/file_stream.h"
#include "core/journal.h"
#include "core/recovery.h"
#include "core/utils.h"
#include "files/pak_passwords.h"

#include <exception>
#include <filesystem>
#include <system_error>
#include <fstream>

namespace velmora {

namespace {

// The end of the encrypted header in the variant with the shortest magic (5 bytes, then 257).

// Up to the first 13 bytes of a file; fewer when it is shorter or cannot be read.
std::string FirstBytes(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    std::string bytes(13, '\0');
    if (!in)
        return {};
    in.read(bytes.data(), std::streamsize(bytes.size()));
    bytes.resize(size_t(in.gcount()));
    return bytes;
}

} // namespace

bool HasPakMagic(const std::string& fileName) {
    const std::string s = FirstBytes(fileName);
    if (SameTextPrefix(s, "K7PV4", 5) || SameTextPrefix(s, "Quillrand", 9))
        return true;
    // A length-prefixed magic: "QUILLRAND" (length 9) or "QUILLRAND2" (length 10).
    return s.size() >= 10 && uint8_t(s[0]) >= 9 && SameTextPrefix(s.substr(1), "QUILLRAND", 9);
}

TImageType LibraryKindOf(const std::string& fileName) {
    const std::string ext = ExtractFileExt(fileName);
    if (SameText(ext, ".Wis"))
        return t_Wis;
    // Pak libraries are also kept as ".Data" (and this program writes them so): a ".Data" file
    // that starts with a Pak magic is a Pak, any other stays a WIL, so that a library written
    // here can be opened again.
    if (SameText(ext, ".Pak") || SameText(ext, ".Data"))
        return HasPakMagic(fileName) ? t_Quillrand : t_Wil;
    if (SameText(ext, ".Wzl"))
        return t_Wzl;
    return t_Wil;
}

std::string PakPasswordFor(const std::string& fileName, const std::optional<std::string>& given) {
    if (given)
        return *given;
    std::string listed = FindPakPassword(fileName);
    return listed.empty() ? std::string(kDefaultPakPassword) : listed;
}

bool TryPakPassword(TGameImages& library, const std::string& password) {
    return library.TakesPassWord() && library.TryPassWord(password);
}

TOpenResult OpenLibraryFile(const std::string& path, const std::optional<std::string>& password,
                            const TNotifyEvent& onRead) {
    TOpenResult result;
    // A save that was cut short before a new library's file appeared (a creation, a conversion
    // into it) but after its journal was written is finished first: the file is there then.
    if (!FileExists(path) && !LookOnlyProcess() && FileExists(JournalNameFor(path))) {
        try {
            RecoverLibrary({path});
        } catch (const EFileError& e) {
            result.Error = e.what();
            return result;
        }
    }
    if (!FileExists(path)) {
        result.Status = TOpenStatus::osMissing;
        result.Error = "the file does not exist";
        return result;
    }
    const TImageType kind = LibraryKindOf(path);
    try {
        auto library = CreateLibrary(kind, path);
        // A save cut short is settled before anything is read; a password change it finishes
        // puts the new password in the list, which then names the password that opens the file.
        const TRecoveryReport& recovery = library->Recover();
        if (recovery.ProgramFilesChanged)
            LoadPakPasswords();
        result.Warnings = recovery.Warnings;
        if (!library->RecoveryProblem().empty())
            result.Warnings.push_back(library->RecoveryProblem() +
                                      "; the library is shown as it is and takes no edit");
        if (kind == t_Quillrand) {
            result.PassWord = PakPasswordFor(path, password);
            if (!TryPakPassword(*library, result.PassWord)) {
                // The magic was recognised (LibraryKindOf); a file too short to hold the header
                // after it is damaged, otherwise the key does not decrypt the check code.
                std::error_code ec;
                if (std::filesystem::file_size(path, ec) < kPakShortestHeaderEnd || ec) {
                    result.Error = "damaged: the file ends inside the Pak header";
                    return result;
                }
                result.Status = TOpenStatus::osWrongPassword;
                result.Error = "wrong password";
                return result;
            }
        }
        if (onRead)
            library->SetOnRead(onRead);
        library->Initialize();
        library->SetOnRead({});
        if (!library->Initialized()) {
            result.Error = "not a readable library (damaged or of another kind)";
            return result;
        }
        result.Library = std::move(library);
        result.Status = TOpenStatus::osOpened;
    } catch (const std::exception& e) {
        result.Status = TOpenStatus::osFailed;
        result.Error = e.what();
        // The caller names the file: an error about the file itself says only what happened.
        const auto* file = dynamic_cast<const EFileError*>(&e);
        if (file && file->Path() == path && result.Error.starts_with(path + ": "))
            result.Error.erase(0, path.size() + 2);
    }
    return result;
}

} // namespace velmora
