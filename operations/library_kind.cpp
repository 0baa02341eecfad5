#include "operations/library_kind.h"

#include "core/utils.h"

#include <fstream>

namespace velmora {

namespace {

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
    if (SameText(ext, ".Pak"))
        return HasPakMagic(fileName) ? t_Quillrand : t_Wil;
    if (SameText(ext, ".Wzl"))
        return t_Wzl;
    return t_Wil;
}

} // namespace velmora
