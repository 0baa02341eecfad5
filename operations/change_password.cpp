#include "operations/change_password.h"

#include "core/file_ops.h"
#include "core/file_replacement.h"
#include "core/library_lock.h"
#include "core/recovery.h"
#include "core/utils.h"
#include "files/pak_passwords.h"

namespace velmora {

bool UpdateListedPassword(const std::string& fileName, const std::string& password) {
    const std::string name = ExtractFileName(fileName);
    for (TPakPassword& entry : g_PakPasswords) {
        if (SameText(ExtractFileName(entry.sFileName), name)) {
            entry.sPassWord = password;
            return true;
        }
    }
    return false;
}

TChangePasswordResult ChangePakPassword(TGameImages& library, const std::string& newPassword,
                                        bool backup, const TProgress& progress) {
    TChangePasswordResult result;
    if (!library.TakesPassWord()) {
        result.Error = "必须是Pak补丁才可以改密码！！！";
        return result;
    }
    result.Refusal = library.EditRefusal();
    if (result.Refusal != TEditRefusal::erNone) {
        result.Error = EditRefusalText(result.Refusal);
        return result;
    }
    result.PassWord = newPassword.empty() ? std::string(kDefaultPakPassword) : newPassword;
    // Such a password would come back from the list cut short, and the library with it.
    if (!PasswordFitsList(result.PassWord)) {
        result.Error = kUnlistablePasswordText;
        return result;
    }
    // Nor could anyone type a password that the code page cannot hold.
    if (!PasswordFitsCodePage(result.PassWord)) {
        result.Error = kUnencodablePasswordText;
        return result;
    }

    // The library and its entry of the password list change as one edit: the list's new content
    // is ready before the library's, and both are put in place under the library's journal, so
    // that after a crash the next opening finds the library and the list agreeing. The list is
    // read as it is on disk now, under its lock, so that no other change of it is lost.
    const std::string listPath = PasswordListPath();
    TLibraryLock listLock;
    if (FileExists(listPath))
        listLock = TLibraryLock(listPath);
    const TListedPasswordChange list = PlanListedPassword(library.FileName(), result.PassWord);
    if (!list.Readable) {
        result.Error = list.Error + "; the password list cannot be read, nothing was changed";
        return result;
    }
    std::vector<TAccompanyingFile> along;
    if (list.EntryFound) {
        const std::string temporary = ProgramFileTemporary(listPath, library.FileName());
        try {
            TFileStream file(temporary, TFileStream::fmCreate, listPath);
            file.Write(list.NewBytes);
        } catch (const EFileError& e) {
            RemoveQuietly(temporary);
            result.Error = std::string(e.what()) +
                           "; the password list cannot be written, nothing was changed";
            return result;
        }
        along.push_back({temporary, listPath, StableHash(list.OldBytes)});
    }

    // The library reports the records it re-keys through its read events; they are borrowed for
    // the run and cleared afterwards, also when the rewrite raises.
    struct TEventsGuard {
        TGameImages& Library;
        ~TEventsGuard() {
            Library.SetOnBeginRead({});
            Library.SetOnRead({});
            Library.SetOnEndRead({});
        }
    } guard{library};
    int done = 0;
    if (progress) {
        const int total = library.ImageCount();
        library.SetOnBeginRead([&, total](TGameImages*) { progress(0, total); });
        library.SetOnRead([&, total](TGameImages*) { progress(++done, total); });
    }
    try {
        library.ChangePassWord(result.PassWord, backup, std::move(along));
    } catch (const EReplacementIncomplete& e) {
        // The library took its new password (after its backup, when one is kept); the list's
        // rename is finished by the next opening.
        if (e.Renamed() <= (backup ? 1u : 0u))
            throw;
        result.Done = true;
        result.ListUpdated = list.EntryFound;
        result.ListSaved = !list.EntryFound;
        result.ListWarning = e.what();
        return result;
    }
    result.Done = true;
    if (list.EntryFound) {
        g_PakPasswords = list.Entries;
        result.ListUpdated = true;
    }
    return result;
}

} // namespace velmora
