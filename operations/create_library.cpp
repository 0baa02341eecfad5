#include "operations/create_library.h"

#include "files/pak_passwords.h"
#include "operations/library_kind.h"

#include <exception>

namespace velmora {

int CreationBitCount(TImageType kind, int requested) {
    if (kind == t_Wil && (requested == 16 || requested == 24 || requested == 32))
        return requested;
    return 8;
}

std::string CreationPassword(TImageType kind, const std::string& password) {
    if (kind != t_Quillrand)
        return {};
    return password.empty() ? std::string(kDefaultPakPassword) : password;
}

TCreateResult CreateLibraryFile(TImageType kind, const std::string& path, int bitCount,
                                const std::string& password) {
    TCreateResult result;
    if (kind == t_Wis) {
        result.Error = "WIS libraries cannot be created";
        return result;
    }
    if (path.empty()) {
        result.Error = "no file name given";
        return result;
    }
    if (!PasswordFitsCodePage(CreationPassword(kind, password))) {
        result.Error = kUnencodablePasswordText;
        return result;
    }
    try {
        std::unique_ptr<TGameImages> library = CreateLibrary(kind, path);
        result.Created = library->CreateFile(uint8_t(CreationBitCount(kind, bitCount)),
                                             CreationPassword(kind, password));
        if (!result.Created)
            result.Error = "the library could not be created";
    } catch (const std::exception& e) {
        result.Error = e.what();
    }
    return result;
}

} // namespace velmora
