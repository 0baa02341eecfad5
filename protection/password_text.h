#pragma once

// Passwords as the cipher sees them: users type Unicode text (UTF-8 inside the program), while
// keys are derived from the password's single-byte code-page form (CP936). ASCII stays ASCII.

#include <optional>
#include <string>

namespace velmora {

// The password that stands for an empty one.
inline constexpr const char* kDefaultPakPassword = "quillrand";

// Why a password that the code page cannot hold is refused.
inline constexpr char kUnencodablePasswordText[] = "密码含有无法保存的字符！！！";

// The CP936 bytes of a UTF-8 password. Text that is not valid UTF-8 is taken to be in the code
// page already and returned unchanged. None when a character has no CP936 code, or when the
// password is not ASCII and the system has no CP936 converter: such a password has no key.
std::optional<std::string> PasswordKeyText(const std::string& PassWord);

// Whether a password has a key (PasswordKeyText): new libraries and password changes refuse the
// others, since no one could type the password that opens the file.
bool PasswordFitsCodePage(const std::string& PassWord);

} // namespace velmora
