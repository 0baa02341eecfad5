#include "formats/library_file.h"

#include <algorithm>

namespace velmora {

std::unique_ptr<TFileStream> OpenLibraryFile(const std::string& name) {
    ResetFileAttributes(name);
    try {
        return std::make_unique<TFileStream>(name, TFileStream::fmOpenReadWrite);
    } catch (const EFileError&) {
    }
    try {
        return std::make_unique<TFileStream>(name, TFileStream::fmOpenRead);
    } catch (const EFileError&) {
    }
    return nullptr;
}

void ReadAt(TFileStream& stream, int64_t position, std::span<uint8_t> out) {
    std::fill(out.begin(), out.end(), uint8_t(0));
    if (position < 0 || position >= stream.Size())
        return;
    stream.Seek(position);
    size_t done = 0;
    while (done < out.size()) {
        const size_t n = stream.Read(out.subspan(done));
        if (n == 0)
            break;
        done += n;
    }
}

TRecordPositions::TRecordPositions(const std::vector<std::unique_ptr<TImageData>>& images) {
    FPositions.reserve(images.size());
    for (const auto& record : images)
        FPositions.push_back(record->OffSet);
}

void TRecordPositions::Restore(std::vector<std::unique_ptr<TImageData>>& images) const {
    for (size_t i = 0; i < images.size() && i < FPositions.size(); ++i)
        images[i]->OffSet = FPositions[i];
}

} // namespace velmora
