#pragma once

#include "core/game_images.h"
#include "operations/progress.h"

#include <string>

namespace velmora {

struct TChangePasswordResult {
    bool Done = false;
    std::string PassWord;     // the password the file now has
    bool ListUpdated = false; // an entry of the password list names the new password
    // False when the list's entry names the new password only once the library is next opened
    // (its save could not be finished now; ListWarning says why).
    bool ListSaved = true;
    std::string ListWarning;
    TEditRefusal Refusal = TEditRefusal::erNone; // the library takes no edits
    std::string Error;
};

// Re-protects an open Pak library with a new password (empty = the default password), keeping a
// copy of the old file as FileName + ".bak" when backup is set, and gives the first entry of the
// password list with the library's file name (folders not compared, any case) the new password in
// the same step: after a crash the next opening of the library finishes both or neither. A list
// that exists but cannot be read or written refuses the change before anything is written. A
// library of another kind is refused
// ("必须是Pak补丁才可以改密码！！！"), and so is a password the list cannot hold (see
// PasswordFitsList) or the code page cannot hold (PasswordFitsCodePage, kUnencodablePasswordText)
// before anything is written. progress is called once per record (through the library's read
// events, which are cleared afterwards). File-system errors raise EFileError.
TChangePasswordResult ChangePakPassword(TGameImages& library, const std::string& newPassword,
                                        bool backup, const TProgress& progress = {});

// Gives the first password-list entry named like fileName (file-name part, any case) the
// password; false when no entry matches (nothing is added).
bool UpdateListedPassword(const std::string& fileName, const std::string& password);

} // namespace velmora
