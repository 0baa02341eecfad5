#include "tools/demo/demo_folder.h"

#include "app/recent_files.h"
#include "core/file_stream.h"
#include "files/app_dir.h"
#include "files/pak_passwords.h"
#include "operations/create_library.h"
#include "operations/import_picture.h"
#include "operations/library_kind.h"
#include "tools/wis_writer/wis_writer.h"
#include "tools/demo/demo_pictures.h"

#include <filesystem>
#include <functional>
#include <system_error>

namespace velmora::demo {

namespace {

namespace fs = std::filesystem;

// One picture of a demo library with its offset and storage choices.
struct TDemoPicture {
    TDIB Picture; // 32 bits, alpha in the top byte
    TPoint Offset;
    bool Compress = false;
};

using TPictureMaker = std::function<TDemoPicture(int index)>;

TDemoPicture Tile(int index) {
    // Floor tiles are drawn from their top-left corner, so the anchor sits half a tile up.
    return {NumberedTile(index, 48, 32), {-24, -16 + (index % 3)}, false};
}

TDemoPicture Shape(int index) {
    const int size = 40 + (index % 4) * 8;
    return {ShapePicture(index, size), {-size / 2, -size + 4}, index % 2 == 0};
}

TDemoPicture Sprite(int index) {
    const int width = 36 + (index % 5) * 8;
    const int height = 44 + (index % 3) * 10;
    // Negative offsets: the sprite is drawn left of and above its anchor at the feet.
    return {SpritePicture(index, width, height), {-width / 2, -height + 6}, index % 2 == 0};
}

// Adds the pictures to an opened library in one update, the way the import command does: the
// size and depth rules first (WIL takes its own bit count). Pictures with alpha keep 32 bits and
// get their alpha plane; opaque ones go into the other formats at 16 bits.
void FillLibrary(TGameImages& library, int count, const TPictureMaker& make, bool withAlpha) {
    TGameImages::TUpdate update = library.BeginUpdate(-1);
    for (int i = 0; i < count; ++i) {
        TDemoPicture item = make(i);
        TLoadedPicture loaded;
        loaded.Source = std::make_unique<TDIB>(std::move(item.Picture));
        if (withAlpha)
            loaded.Alpha = AlphaPlaneOf(*loaded.Source);
        else
            ConvertBitCount(*loaded.Source, 24);
        PrepareForLibrary(loaded, library);
        if (!withAlpha && !ConvertsToLibraryBitCount(library))
            ConvertBitCount(*loaded.Source, 16);
        if (!update.Add(*loaded.Source, item.Offset.X, item.Offset.Y, item.Compress ? 1 : 0,
                        loaded.Alpha.get()))
            throw EFileError(library.FileName(),
                             "the library refused demo picture " + std::to_string(i));
    }
    update.EndUpdate();
}

void WriteLibrary(const TDemoLibrary& demo, const TPictureMaker& make) {
    const TCreateResult created =
        CreateLibraryFile(demo.Kind, demo.FileName, demo.BitCount, demo.PassWord);
    if (!created.Created)
        throw EFileError(demo.FileName, created.Error);
    TOpenResult opened = OpenLibraryFile(demo.FileName, demo.PassWord);
    if (!opened.Opened())
        throw EFileError(demo.FileName, "the new library does not open: " + opened.Error);
    FillLibrary(*opened.Library, demo.ImageCount, make, demo.WithAlpha);
}

// WIS libraries are only read by the program; the demo one comes from the WIS test-data writer.
// Pictures go in on the library palette, alternately run-length encoded and raw.
void WriteWisLibrary(const TDemoLibrary& demo) {
    TWisWriter writer;
    for (int i = 0; i < demo.ImageCount; ++i) {
        TDemoPicture item = Shape(i + 100);
        TDIB pixels = std::move(item.Picture);
        ConvertBitCount(pixels, 8); // the width becomes a multiple of 4: rows without padding
        std::vector<uint8_t> rows;
        rows.reserve(size_t(pixels.Width()) * size_t(pixels.Height()));
        for (int y = 0; y < pixels.Height(); ++y) {
            const uint8_t* row = pixels.ScanLine(y);
            rows.insert(rows.end(), row, row + pixels.Width());
        }
        writer.AddImage(pixels.Width(), pixels.Height(), item.Offset.X, item.Offset.Y, rows,
                        i % 2 == 0);
    }
    writer.Save(demo.FileName);
}

void Require(const std::string& fileName) {
    std::error_code ec;
    if (!fs::is_regular_file(fileName, ec))
        throw EFileError(fileName, ec ? ec.message() : "the file could not be written");
}

std::string WithSeparator(const std::string& folder) {
    if (folder.empty() || folder.back() == '/')
        return folder;
    return folder + "/";
}

} // namespace

std::vector<TDemoLibrary> DemoLibraries(const std::string& folder) {
    const std::string data = WithSeparator(folder) + "Data/";
    return {
        {data + "Sprites.Wzl",
         t_Wzl,
         8,
         20,
         true,
         {},
         "WZL: sprites with alpha and negative offsets, every other one compressed"},
        {data + "Tiles16.Wil", t_Wil, 16, 24, false, {}, "WIL at 16 bits: shapes on black"},
        {data + "Tiles8.Wil", t_Wil, 8, 40, false, {}, "WIL at 8 bits: numbered floor tiles"},
        {data + "Default.Pak", t_Quillrand, 8, 16, true, kDefaultPakPassword,
         "Pak with the default password: sprites with alpha"},
        {data + "Secret.Pak", t_Quillrand, 8, 12, false, kDemoSecretPassword,
         "Pak with the password kept in Pak.txt: shapes"},
        {data + "Monsters.Wis",
         t_Wis,
         8,
         12,
         false,
         {},
         "WIS: 8-bit shapes, run-length encoded and raw"},
    };
}

std::vector<TDemoLibrary> WriteDemoFolder(const std::string& folder) {
    const std::string home = WithSeparator(folder);
    std::error_code ec;
    fs::create_directories(home + "Data", ec);
    if (ec)
        throw EFileError(home + "Data", ec.message());
    g_AppDir = home;

    std::vector<TDemoLibrary> libraries = DemoLibraries(home);
    std::vector<std::string> recent;
    g_PakPasswords.clear();
    for (const TDemoLibrary& demo : libraries) {
        switch (demo.Kind) {
        case t_Wis:
            WriteWisLibrary(demo);
            break;
        case t_Wzl:
        case t_Quillrand:
            WriteLibrary(demo, demo.WithAlpha ? TPictureMaker(Sprite) : TPictureMaker(Shape));
            break;
        case t_Wil:
            WriteLibrary(demo, demo.BitCount == 8 ? TPictureMaker(Tile) : TPictureMaker(Shape));
            break;
        }
        recent.push_back(demo.FileName);
        if (demo.Kind == t_Quillrand && demo.PassWord != kDefaultPakPassword)
            g_PakPasswords.push_back({demo.FileName, demo.PassWord});
    }

    // The product's own writers; they ignore write errors, so the files are checked afterwards.
    SaveRecentFileList(home + kRecentFilesName, recent);
    Require(home + kRecentFilesName);
    SavePakPasswords();
    Require(home + kPakPasswordsFileName);
    return libraries;
}

} // namespace velmora::demo
