#include "formats/library_file.h"

namespace velmora {

std::shared_ptr<TFileStream> OpenLibraryStream(const std::string& name, bool& readOnly) {
    readOnly = false;
    try {
        if (LookOnlyProcess()) {
            readOnly = true;
            return std::make_shared<TFileStream>(name, TFileStream::fmOpenRead);
        }
        return std::make_shared<TFileStream>(name, TFileStream::fmOpenReadWrite);
    } catch (const EFileError&) {
    }
    try {
        auto stream = std::make_shared<TFileStream>(name, TFileStream::fmOpenRead);
        readOnly = true;
        return stream;
    } catch (const EFileError&) {
    }
    return nullptr;
}

} // namespace velmora
