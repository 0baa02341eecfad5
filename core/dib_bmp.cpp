// TDIB: Windows BMP reading and writing (Part 1.1).

#include "core/dib.h"

#include "core/file_stream.h"

namespace velmora {

bool TDIB::LoadFromStream(std::span<const uint8_t>) {
    return false;
}

bool TDIB::LoadFromFile(const std::string& fileName) {
    try {
        return LoadFromStream(TFileStream::ReadAll(fileName));
    } catch (const EFileError&) {
        return false;
    }
}

std::vector<uint8_t> TDIB::SaveToStream() const {
    return {};
}

void TDIB::SaveToFile(const std::string& fileName) const {
    std::vector<uint8_t> bytes = SaveToStream();
    TFileStream f(fileName, TFileStream::fmCreate);
    f.Write(bytes);
}

} // namespace velmora
