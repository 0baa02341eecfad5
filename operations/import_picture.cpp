#include "operations/import_picture.h"

#include "core/file_stream.h"
#include "core/palette.h"
#include "files/picture_files.h"
#include "formats/image_info.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>

namespace velmora {

TLoadedPicture PictureFromPng(const TPngPicture& png) {
    TLoadedPicture picture;
    std::unique_ptr<TDIB> bitmap = png.ToDIB();
    if (!bitmap)
        return picture;
    // A palette or grey picture keeps its own colour table; PrepareForLibrary decides what the
    // library can store of it.
    picture.Source = std::move(bitmap);
    if (png.HasAlpha() && png.Width() > 0 && png.Height() > 0) {
        picture.Alpha = MakeLibraryBuffer(8, png.Width(), png.Height());
        for (int y = 0; y < png.Height(); ++y) {
            const uint8_t* a = png.AlphaScanline(y);
            uint8_t* row = picture.Alpha->ScanLine(y);
            for (int x = 0; x < png.Width(); ++x) {
                row[x] = a[x];
                if (a[x] == 0)
                    picture.Source->SetPixel(x, y, 0);
            }
        }
    }
    return picture;
}

namespace {

// A picture with alpha as the library takes it: colours in 24 bits, black where fully transparent,
// and the alpha values as an 8-bit buffer.
TLoadedPicture PictureWithAlpha(const TDIB& rgba) {
    TLoadedPicture picture;
    picture.Alpha = MakeLibraryBuffer(8, rgba.Width(), rgba.Height());
    picture.Source = std::make_unique<TDIB>(rgba);
    picture.Source->SetPixelFormat(MakePixelFormat(8, 8, 8));
    picture.Source->SetBitCount(24);
    for (int y = 0; y < rgba.Height(); ++y) {
        const uint8_t* in = rgba.ScanLine(y);
        uint8_t* alpha = picture.Alpha->ScanLine(y);
        uint8_t* out = picture.Source->ScanLine(y);
        for (int x = 0; x < rgba.Width(); ++x) {
            alpha[x] = in[4 * x + 3];
            if (alpha[x] == 0)
                std::memset(out + 3 * x, 0, 3);
        }
    }
    return picture;
}

// Why a picture file did not load: too large when its header says so, else `fallback`.
std::string LoadFailure(const std::string& fileName, const char* fallback) {
    if (const auto size = PictureFileSize(fileName)) {
        const std::string large = PictureTooLargeText(size->first, size->second);
        if (!large.empty())
            return large;
    }
    return fallback;
}

} // namespace

bool LoadImportPicture(const std::string& fileName, TLoadedPicture& picture, std::string& error) {
    picture = {};
    if (!FileExists(fileName)) {
        error = "the file does not exist";
        return false;
    }
    try {
        switch (PictureFormatOf(fileName)) {
        case ifPNG: {
            std::unique_ptr<TPngPicture> png = LoadPngPicture(fileName);
            if (!png) {
                error = LoadFailure(fileName, "not a readable PNG picture");
                return false;
            }
            picture = PictureFromPng(*png);
            break;
        }
        case ifTGA: {
            auto bitmap = std::make_unique<TDIB>();
            if (!LoadPicture(fileName, *bitmap, ifAuto)) {
                error = LoadFailure(fileName, "not a readable TGA picture");
                return false;
            }
            // A 32-bit TGA carries alpha as a PNG of colour type 6 does, and goes in the same
            // way; one whose fourth bytes are all 0 (24-bit files turned over arrive so, and
            // writers that keep no alpha leave them 0) is opaque.
            if (bitmap->HasAlphaChannel())
                picture = PictureWithAlpha(*bitmap);
            else
                picture.Source = std::move(bitmap);
            break;
        }
        default: {
            auto bitmap = std::make_unique<TDIB>();
            if (!bitmap->LoadFromFile(fileName)) {
                error = LoadFailure(fileName, "not a readable BMP picture");
                return false;
            }
            picture.Source = std::move(bitmap);
            break;
        }
        }
    } catch (const std::exception& e) {
        picture = {};
        error = e.what();
        return false;
    }
    if (!picture.Source) {
        error = "the picture could not be converted";
        return false;
    }
    return true;
}

bool ConvertsToLibraryBitCount(const TGameImages& library) {
    switch (library.ImageType()) {
    case t_Wil:
    case t_Wis:
        return true;
    case t_Quillrand:
        return library.Facts().FixedDepth;
    case t_Wzl:
        break;
    }
    return false;
}

namespace {

// 8-bit palette pixels to 5-6-5 words: black stays 0; every other colour keeps its top bits, and a
// masked component that ends up at 8 or below is lifted to 8 so that dark colours do not turn into
// the transparent black.
TDIB PaletteTo565(const TDIB& buffer) {
    TDIB out;
    out.SetPixelFormat(MakePixelFormat(5, 6, 5));
    out.SetSize(buffer.Width(), buffer.Height(), 16);
    const TColorTable& palette = buffer.ColorTable();
    for (int y = 0; y < buffer.Height(); ++y) {
        const uint8_t* src = buffer.ScanLine(y);
        uint8_t* dst = out.ScanLine(y);
        for (int x = 0; x < buffer.Width(); ++x) {
            const TRGBQuad& q = palette[src[x]];
            uint16_t value = 0;
            if (q.rgbRed != 0 || q.rgbGreen != 0 || q.rgbBlue != 0) {
                const int r = std::max(q.rgbRed & 0xF8, 8);
                const int g = std::max(q.rgbGreen & 0xFC, 8);
                const int b = std::max(q.rgbBlue & 0xF8, 8);
                value = uint16_t(r * 256 + g * 8 + b / 8);
            }
            dst[2 * x] = uint8_t(value);
            dst[2 * x + 1] = uint8_t(value >> 8);
        }
    }
    return out;
}

} // namespace

bool IndexesMeanDefaultColours(const TDIB& buffer) {
    std::array<bool, 256> used{};
    for (int y = 0; y < buffer.Height(); ++y) {
        const uint8_t* row = buffer.ScanLine(y);
        for (int x = 0; x < buffer.Width(); ++x)
            used[row[x]] = true;
    }
    for (size_t i = 0; i < used.size(); ++i) {
        const TRGBQuad& a = buffer.ColorTable()[i];
        const TRGBQuad& b = DefaultPalette[i];
        if (used[i] && (a.rgbRed != b.rgbRed || a.rgbGreen != b.rgbGreen || a.rgbBlue != b.rgbBlue))
            return false;
    }
    return true;
}

namespace {

void ChangeDepthInPlace(TDIB& buffer, int bitCount) {
    buffer.SetPixelFormat(bitCount == 16 ? MakePixelFormat(5, 6, 5) : MakePixelFormat(8, 8, 8));
    if (buffer.Empty())
        buffer.SetSize(std::max(buffer.Width(), 1), std::max(buffer.Height(), 1), bitCount);
    else
        buffer.SetBitCount(bitCount);
}

} // namespace

void ConvertBitCount(TDIB& buffer, int bitCount) {
    switch (bitCount) {
    case 8: {
        if (buffer.BitCount() == 8 && buffer.Width() % 4 == 0)
            return;
        const int width = (buffer.Width() + 3) / 4 * 4;
        std::unique_ptr<TDIB> out = MakeLibraryBuffer(8, width, buffer.Height());
        if (!out->Empty())
            out->Draw(0, 0, buffer);
        buffer = std::move(*out);
        return;
    }
    case 16:
        if (buffer.BitCount() == 8) {
            buffer = PaletteTo565(buffer);
            return;
        }
        ChangeDepthInPlace(buffer, 16);
        return;
    case 24:
    case 32:
        ChangeDepthInPlace(buffer, bitCount);
        return;
    default:
        return;
    }
}

void PrepareForLibrary(TLoadedPicture& picture, const TGameImages& library) {
    if (!picture.Source)
        return;
    TDIB& source = *picture.Source;
    if (int64_t(source.Width()) * source.Height() <= 4) {
        source.SetSize(1, 1, source.BitCount());
        picture.Alpha.reset();
    }
    const bool fixedDepth = ConvertsToLibraryBitCount(library);
    // The indexes of a library's 8-bit pictures mean DefaultPalette colours. A picture with other
    // colours is drawn onto that palette only where the library stores 8 bits; a library of more
    // bits takes its own colours (ConvertBitCount reads them through its colour table), and one
    // that stores any depth gets them as true colour.
    if (source.BitCount() == 8 && !IndexesMeanDefaultColours(source)) {
        if (!fixedDepth) {
            source.SetPixelFormat(MakePixelFormat(8, 8, 8));
            source.SetBitCount(24);
        } else if (library.BitCount() == 8) {
            std::unique_ptr<TDIB> indexed = MakeLibraryBuffer(8, source.Width(), source.Height());
            indexed->Draw(0, 0, source);
            source = std::move(*indexed);
        }
    }
    if (fixedDepth)
        ConvertBitCount(source, library.BitCount());
    if (picture.Alpha &&
        (picture.Alpha->Width() != source.Width() || picture.Alpha->Height() != source.Height()))
        picture.Alpha.reset();
    // A 32-bit library keeps alpha in the fourth byte of each pixel, as a 32-bit TGA brings it.
    if (picture.Alpha && fixedDepth && library.BitCount() == 32)
        source.AssignAlphaChannel(*picture.Alpha);
}

void PrepareKeepingSize(TLoadedPicture& picture, const TGameImages& library) {
    if (!picture.Source)
        return;
    TDIB& source = *picture.Source;
    if (ConvertsToLibraryBitCount(library) && library.BitCount() == 8 &&
        int64_t(source.Width()) * source.Height() > 4) {
        if (source.BitCount() != 8 || !IndexesMeanDefaultColours(source)) {
            std::unique_ptr<TDIB> indexed = MakeLibraryBuffer(8, source.Width(), source.Height());
            indexed->Draw(0, 0, source);
            source = std::move(*indexed);
        }
        picture.Alpha.reset();
        return;
    }
    PrepareForLibrary(picture, library);
}

namespace {

std::string RefusalReason(const TGameImages& library, TImportMode mode, int index) {
    if (library.ImageType() == t_Wis)
        return "WIS libraries cannot take pictures";
    if (mode != imAppend && (index < 0 || index >= library.ImageCount()))
        return "image " + std::to_string(index) + " does not exist (the library holds " +
               std::to_string(library.ImageCount()) + " images)";
    return "the library refused the picture";
}

} // namespace

TImportPictureResult ImportPicture(TGameImages& library, const std::string& fileName, int index,
                                   TImportMode mode, TPoint offset, uint8_t compression) {
    TImportPictureResult result;
    TLoadedPicture picture;
    if (!LoadImportPicture(fileName, picture, result.Error))
        return result;
    PrepareForLibrary(picture, library);
    return ImportLoadedPicture(library, picture, index, mode, offset, compression);
}

TImportPictureResult ImportLoadedPicture(TGameImages& library, TLoadedPicture& picture, int index,
                                         TImportMode mode, TPoint offset, uint8_t compression) {
    std::vector<TLoadedPicture> pictures;
    pictures.push_back(std::move(picture));
    TImportPictureResult result =
        ImportLoadedPictures(library, pictures, index, mode, offset, compression);
    picture = std::move(pictures.front());
    return result;
}

TImportPictureResult ImportLoadedPictures(TGameImages& library,
                                          std::vector<TLoadedPicture>& pictures, int index,
                                          TImportMode mode, TPoint offset, uint8_t compression,
                                          int* FailedItem) {
    TImportPictureResult result;
    result.Loaded = true;
    if (FailedItem)
        *FailedItem = -1;
    if (pictures.empty() || !pictures.front().Source) {
        result.Error = "no picture to import";
        return result;
    }
    result.Refusal = library.EditRefusal();
    if (result.Refusal != TEditRefusal::erNone) {
        result.Error = EditRefusalText(result.Refusal);
        return result;
    }
    if (!StorableOffset(offset)) {
        result.OffsetRefused = true;
        result.Error = "offsets are stored as 16-bit values (-32768..32767)";
        return result;
    }
    TGameImages::TUpdate update = library.BeginUpdate(mode == imAppend ? -1 : index);
    const int first = mode == imAppend ? update.Count() : index;
    for (size_t i = 0; i < pictures.size(); ++i) {
        TLoadedPicture& picture = pictures[i];
        bool ok = false;
        if (picture.Source) {
            TDIB& source = *picture.Source;
            const TDIB* alpha = picture.Alpha.get();
            switch (mode) {
            case imReplace:
                ok = update.Replace(-1, source, offset.X, offset.Y, compression, alpha);
                break;
            case imInsert:
                ok = update.Insert(-1, source, offset.X, offset.Y, compression, alpha);
                break;
            case imAppend:
                ok = update.Add(source, offset.X, offset.Y, compression, alpha);
                break;
            }
        }
        if (!ok) {
            // The edit is dropped with the transaction: nothing of the batch is written.
            if (FailedItem)
                *FailedItem = int(i);
            result.Error = RefusalReason(library, mode, index);
            return result;
        }
    }
    update.EndUpdate();
    result.Imported = true;
    result.Index = first;
    return result;
}

} // namespace velmora
