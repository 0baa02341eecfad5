#include "formats/library_factory.h"

#include "formats/pak.h"
#include "formats/wil.h"
#include "formats/wis.h"
#include "formats/wzl.h"

namespace velmora {

std::unique_ptr<TGameImages> CreateLibrary(TImageType kind, const std::string& path) {
    switch (kind) {
    case t_Wis:
        return std::make_unique<TWis>(path);
    case t_Wzl:
        return std::make_unique<TWzl>(path);
    case t_Quillrand:
        return std::make_unique<TQuillrand>(path);
    case t_Wil:
        break;
    }
    return std::make_unique<TWil>(path);
}

std::string IndexFileNameOf(TImageType kind, const std::string& path) {
    if (kind != t_Wil && kind != t_Wzl)
        return {};
    return CreateLibrary(kind, path)->IndexFileName();
}

} // namespace velmora
