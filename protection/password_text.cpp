#include "protection/password_text.h"

#include "core/code_page.h"

#include <algorithm>

namespace velmora {

std::optional<std::string> PasswordKeyText(const std::string& PassWord) {
    const bool ascii = std::all_of(PassWord.begin(), PassWord.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii || !IsValidUtf8(PassWord))
        return PassWord;
    return Utf8ToCodePage(PassWord);
}

bool PasswordFitsCodePage(const std::string& PassWord) {
    return PasswordKeyText(PassWord).has_value();
}

} // namespace velmora
