#pragma once

// Passwords as the cipher sees them: users type Unicode text (UTF-8 inside the program), while
// keys are derived from the password's single-byte code-page form (CP936). ASCII stays ASCII.

#include <string>

namespace velmora {

// The password that stands for an empty one.
inline constexpr const char* kDefaultPakPassword = "quillrand";

// The CP936 bytes of a UTF-8 password. Text that is not valid UTF-8 is taken to be in the code
// page already and returned unchanged; characters CP936 cannot hold become '?'.
std::string PasswordKeyText(const std::string& PassWord);

} // namespace velmora
