#include "support/safety_support.h"

#include "core/dib.h"
#include "core/png_picture.h"
#include "formats/pak.h"
#include "formats/wil.h"
#include "formats/wzl.h"
#include "operations/library_kind.h"
#include "support/pak_support.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace velmora::safety_test {

namespace {

uint64_t Mix(uint64_t hash, uint64_t value) {
    hash ^= value + 0x9e3779b97f4a7c15ull + (hash << 6) + (hash >> 2);
    return hash;
}

} // namespace

const char* CaseName(TLibraryCase c) {
    switch (c) {
    case TLibraryCase::Wil:
        return "WIL";
    case TLibraryCase::Wzl:
        return "WZL";
    case TLibraryCase::PakNew:
        return "Pak (new layout)";
    case TLibraryCase::PakOld:
        return "Pak (old layout)";
    }
    return "?";
}

std::string LibraryPath(const std::string& folder, TLibraryCase c) {
    switch (c) {
    case TLibraryCase::Wil:
        return folder + "/lib.wil";
    case TLibraryCase::Wzl:
        return folder + "/lib.wzl";
    default:
        return folder + "/lib.pak";
    }
}

std::unique_ptr<TDIB> TestPicture(int side, uint32_t seed) {
    return test::MakePatternDIB(side, side, 16, seed);
}

void CreateTestLibrary(const std::string& path, TLibraryCase c, int count, int side) {
    switch (c) {
    case TLibraryCase::Wil:
        TWil(path).CreateFile(16, "");
        break;
    case TLibraryCase::Wzl:
        TWzl(path).CreateFile(16, "");
        break;
    case TLibraryCase::PakNew:
        TQuillrand(path).CreateFile(16, kTestPakPassword);
        break;
    case TLibraryCase::PakOld: {
        test::TPakTestFile fileLayout;
        fileLayout.bfType = 0;
        fileLayout.BitCount = 16;
        fileLayout.Password = kTestPakPassword;
        test::WritePakBytes(path, test::BuildPakFile(fileLayout));
        break;
    }
    }
    auto library = OpenTestLibrary(path, c);
    if (!library)
        throw std::runtime_error(path + ": the new library does not open");
    auto update = library->BeginUpdate(0);
    for (int i = 0; i < count; ++i) {
        auto picture = TestPicture(side, uint32_t(i));
        update.Add(*picture, i % 50, -(i % 30), 0, nullptr);
    }
    update.EndUpdate();
}

std::unique_ptr<TGameImages> OpenTestLibrary(const std::string& path, TLibraryCase c) {
    TOpenResult result =
        OpenLibraryFile(path, c == TLibraryCase::PakNew || c == TLibraryCase::PakOld
                                  ? std::optional<std::string>(kTestPakPassword)
                                  : std::nullopt);
    if (!result.Opened())
        return nullptr;
    return std::move(result.Library);
}

uint64_t PictureHash(const TPicture* picture) {
    if (!picture)
        return 0;
    uint64_t hash = 1469598103934665603ull;
    std::unique_ptr<TDIB> converted;
    const TDIB* dib = picture->AsDIB();
    if (!dib && picture->AsPng()) {
        converted = picture->AsPng()->ToDIB();
        dib = converted.get();
    }
    hash = Mix(hash, uint64_t(picture->Width()) << 32 | uint32_t(picture->Height()));
    if (dib) {
        hash = Mix(hash, uint64_t(dib->BitCount()));
        const uint8_t* bits = dib->PBits();
        for (int n = 0; n < dib->Size(); ++n)
            hash = (hash ^ bits[n]) * 1099511628211ull;
    }
    return hash;
}

TFingerprint Fingerprint(TGameImages& library) {
    TFingerprint fingerprint;
    for (int i = 0; i < library.ImageCount(); ++i) {
        int x = 0, y = 0;
        std::unique_ptr<TPicture> picture = library.Get(i, x, y);
        fingerprint.push_back({PictureHash(picture.get()), {x, y}});
    }
    return fingerprint;
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace velmora::safety_test
