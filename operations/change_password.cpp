#include "operations/change_password.h"

#include "core/utils.h"
#include "files/pak_passwords.h"
#include "formats/pak.h"

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
    auto* pak = dynamic_cast<TQuillrand*>(&library);
    if (!pak || library.ImageType() != t_Quillrand) {
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
    if (progress) {
        const int total = library.ImageCount();
        int done = 0;
        library.SetOnBeginRead([&, total](TGameImages*) { progress(0, total); });
        library.SetOnRead([&, total](TGameImages*) { progress(++done, total); });
        pak->ChangePassword(result.PassWord, backup);
    } else {
        pak->ChangePassword(result.PassWord, backup);
    }
    result.Done = true;
    result.ListUpdated = UpdateListedPassword(library.FileName(), result.PassWord);
    // An unchanged list is not rewritten.
    result.ListSaved = !result.ListUpdated || SavePakPasswords();
    return result;
}

} // namespace velmora
