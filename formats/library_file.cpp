#include "formats/library_file.h"

#include <algorithm>

namespace velmora {

std::shared_ptr<TFileStream> OpenLibraryStream(const std::string& name, bool& readOnly) {
    ResetFileAttributes(name);
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

size_t ReadAt(const TFileStream& stream, int64_t position, std::span<uint8_t> out) {
    std::fill(out.begin(), out.end(), uint8_t(0));
    if (position < 0)
        return 0;
    return stream.ReadAt(position, out);
}

} // namespace velmora
