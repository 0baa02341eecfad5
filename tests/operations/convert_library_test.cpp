#include "operations/convert_library.h"

#include "core/file_stream.h"
#include "core/png_picture.h"
#include "formats/image_info.h"
#include "operations/create_library.h"
#include "operations/library_files.h"
#include "operations/library_kind.h"
#include "support/cli_support.h"
#include "tools/wis_writer/wis_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace velmora {
namespace {

namespace fs = std::filesystem;
using cli_test::TCliTempDir;

bool NoTemporaryFiles(const std::string& folder) {
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string()[0] == '.')
            return false;
    return true;
}

TEST(ConvertLibrary, EveryKindIntoEveryOtherWritableKind) {
    for (TImageType source : {t_Wil, t_Wis, t_Wzl, t_Quillrand})
        for (TImageType target : {t_Wil, t_Wis, t_Wzl, t_Quillrand})
            EXPECT_EQ(ConversionSupported(source, target), source != target && target != t_Wis)
                << int(source) << " -> " << int(target);
}

// A patterned picture with black around it; every second one with alpha (0 where black).
void AddImages(TGameImages& library, bool alpha) {
    auto update = library.BeginUpdate(-1);
    TDIB blank = *library.FillDIB();
    for (int i = 0; i < 6; ++i) {
        if (i == 2) {
            ASSERT_TRUE(update.Add(blank, 0, 0, 0, nullptr));
            continue;
        }
        TDIB picture;
        picture.SetPixelFormat(MakePixelFormat(8, 8, 8));
        picture.SetSize(9 + 4 * i, 12, 24);
        picture.Draw(2, 1, cli_test::PatternPicture(5 + 4 * i, 9, uint32_t(31 * i)));
        std::unique_ptr<TDIB> plane;
        if (alpha && i % 2 == 1) {
            plane = MakeLibraryBuffer(8, picture.Width(), picture.Height());
            for (int y = 0; y < picture.Height(); ++y)
                for (int x = 0; x < picture.Width(); ++x)
                    plane->SetPixel(x, y,
                                    picture.Pixel(x, y) == 0 ? 0 : uint32_t(60 + 15 * (x % 13)));
        }
        ASSERT_TRUE(update.Add(picture, 4 - 9 * i, -2 * i, 1, plane.get()));
    }
    update.EndUpdate();
}

// Colours as a library without alpha shows them: transparent pixels black, the rest opaque.
std::vector<uint32_t> Opaque(std::vector<uint32_t> argb) {
    for (uint32_t& p : argb)
        p = (p >> 24) == 0 ? 0xFF000000u : (p | 0xFF000000u);
    return argb;
}

// Every pair that goes through pictures reads back with the source's offsets and pictures (alpha
// dropped where the target holds none, and told before the copy).
TEST(ConvertLibrary, DecodingPairsReadBackThePicturesAndOffsets) {
    TCliTempDir dir;
    ASSERT_TRUE(CreateLibraryFile(t_Wzl, dir / "s.wzl", 8, "").Created);
    AddImages(*cli_test::OpenForTest(dir / "s.wzl"), true);
    ASSERT_TRUE(CreateLibraryFile(t_Quillrand, dir / "s.pak", 8, "secret").Created);
    AddImages(*cli_test::OpenForTest(dir / "s.pak", "secret"), true);
    TWisWriter writer;
    for (int i = 0; i < 4; ++i) {
        std::vector<uint8_t> pixels(size_t(13 + i) * 6);
        for (size_t k = 0; k < pixels.size(); ++k)
            pixels[k] = uint8_t(k % 5 == 0 ? 0 : 1 + (k * 7 + size_t(i)) % 250);
        writer.AddImage(13 + i, 6, -i, 3 * i, pixels, i % 2 == 1);
    }
    writer.Save(dir / "s.wis");

    struct TPair {
        const char* Source;
        TImageType SourceKind;
        const char* Target;
        TImageType TargetKind;
        int AlphaLost, AlphaReduced;
    };
    const TPair pairs[] = {
        {"s.wzl", t_Wzl, "a.wil", t_Wil, 3, 0},       {"s.pak", t_Quillrand, "b.wil", t_Wil, 3, 0},
        {"s.pak", t_Quillrand, "c.wzl", t_Wzl, 0, 3}, {"s.wis", t_Wis, "d.wil", t_Wil, 0, 0},
        {"s.wis", t_Wis, "e.wzl", t_Wzl, 0, 0},
    };
    for (const TPair& pair : pairs) {
        SCOPED_TRACE(std::string(pair.Source) + " -> " + pair.Target);
        TConvertOptions options;
        options.SourcePath = dir / pair.Source;
        options.SourceKind = pair.SourceKind;
        options.SourcePassWord = "secret";
        options.TargetPath = dir / pair.Target;
        options.TargetKind = pair.TargetKind;
        options.Compression = 1;
        const TConversionPlan plan = PlanConversion(options);
        ASSERT_TRUE(plan.Opened) << plan.Error;
        EXPECT_EQ(plan.AlphaLost, pair.AlphaLost);
        EXPECT_EQ(plan.AlphaReduced, pair.AlphaReduced);
        EXPECT_EQ(plan.ColoursReduced, 0);
        const TConvertResult result = ConvertLibrary(options);
        ASSERT_TRUE(result.Done) << result.Error;

        auto source = cli_test::OpenForTest(options.SourcePath, "secret");
        auto target = cli_test::OpenForTest(options.TargetPath);
        ASSERT_EQ(target->ImageCount(), source->ImageCount());
        for (int i = 0; i < source->ImageCount(); ++i) {
            int sx = 0, sy = 0, tx = 0, ty = 0;
            auto a = source->Get(i, sx, sy);
            auto b = target->Get(i, tx, ty);
            ASSERT_TRUE(a && b);
            EXPECT_EQ(source->GetPoint(i), target->GetPoint(i)) << "image " << i;
            EXPECT_EQ(Opaque(cli_test::PictureArgb(*a)), Opaque(cli_test::PictureArgb(*b)))
                << "image " << i;
            if (pair.AlphaReduced > 0 && a->AsPng()) {
                EXPECT_TRUE(b->AsPng() && b->AsPng()->HasAlpha()) << "image " << i;
            }
        }
    }

    // A depth asked for below the images' tells the colours it reduces; a wrong password of a
    // Pak source is told as such.
    TConvertOptions options;
    options.SourcePath = dir / "s.wzl";
    options.SourceKind = t_Wzl;
    options.TargetPath = dir / "f.wil";
    options.TargetKind = t_Wil;
    options.BitCount = 16;
    const TConversionPlan plan = PlanConversion(options);
    EXPECT_EQ(plan.TargetBitCount, 16);
    EXPECT_EQ(plan.ColoursReduced, 5);
    EXPECT_NE(ConversionLossText(plan).find("16-bit"), std::string::npos);
    options.SourcePath = dir / "s.pak";
    options.SourceKind = t_Quillrand;
    options.SourcePassWord = "wrong";
    const TConvertResult refused = ConvertLibrary(options);
    EXPECT_FALSE(refused.Done);
    EXPECT_TRUE(refused.WrongPassword);
    EXPECT_FALSE(FileExists(dir / "f.wil"));
}

// A missing source, a source that does not open and a target that cannot be written are failures,
// and an existing target stays as it was.
TEST(ConvertLibrary, FailuresAreReportedAndLeaveTheTargetUntouched) {
    TCliTempDir dir;
    std::ofstream(dir / "target.pak", std::ios::binary) << "an older target";
    TConvertOptions options;
    options.SourcePath = dir / "missing.wil";
    options.TargetPath = dir / "target.pak";
    TConvertResult result = ConvertLibrary(options);
    EXPECT_FALSE(result.Done);
    EXPECT_NE(result.Error.find("missing.wil"), std::string::npos);

    std::ofstream(dir / "bad.wil", std::ios::binary) << "no library here";
    options.SourcePath = dir / "bad.wil";
    result = ConvertLibrary(options);
    EXPECT_FALSE(result.Done);
    EXPECT_FALSE(result.Error.empty());

    ASSERT_TRUE(CreateLibraryFile(t_Wil, dir / "good.wil", 8, "").Created);
    options.SourcePath = dir / "good.wil";
    options.TargetPath = dir / "no-folder/target.pak";
    result = ConvertLibrary(options);
    EXPECT_FALSE(result.Done);

    options.TargetPath = dir / "good.wil";
    options.TargetKind = t_Wzl;
    EXPECT_FALSE(ConvertLibrary(options).Done);
    options.TargetPath = dir / "./good.wil";
    EXPECT_FALSE(ConvertLibrary(options).Done) << "a target that is the source is refused";

    // A WIL file chosen as the source of a WIS conversion would give an empty target.
    options.TargetPath = dir / "target.pak";
    options.TargetKind = t_Quillrand;
    options.SourceKind = t_Wis;
    result = ConvertLibrary(options);
    EXPECT_FALSE(result.Done);
    EXPECT_NE(result.Error.find("is a WIL library, not WIS"), std::string::npos) << result.Error;
    options.SourceKind = t_Wil;

    // A source without its index would be converted without its images.
    std::filesystem::remove(dir / "good.WIX");
    options.TargetPath = dir / "target.pak";
    options.TargetKind = t_Quillrand;
    result = ConvertLibrary(options);
    EXPECT_FALSE(result.Done);
    EXPECT_NE(result.Error.find("repair"), std::string::npos) << result.Error;

    std::vector<uint8_t> expected{'a', 'n', ' ', 'o', 'l', 'd', 'e', 'r',
                                  ' ', 't', 'a', 'r', 'g', 'e', 't'};
    EXPECT_EQ(TFileStream::ReadAll(dir / "target.pak"), expected);
    EXPECT_TRUE(NoTemporaryFiles(dir.Path()));
}

TEST(ConvertLibrary, WisImagesWithoutAPictureKeepTheirPlace) {
    TCliTempDir dir;
    TWisWriter writer;
    std::vector<uint8_t> pixels(16 * 4, 7);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t(10 + i);
    writer.AddImage(16, 4, 1, 2, pixels, false);
    // A header that claims far more pixels than the record holds gives no picture.
    const std::vector<uint8_t> few(8, 3);
    writer.AddRecord(0, 200, 200, 0, 0, few);
    writer.AddImage(16, 4, 5, 6, pixels, true);
    writer.Save(dir / "old.wis");

    TConvertOptions options;
    options.SourcePath = dir / "old.wis";
    options.SourceKind = t_Wis;
    options.TargetPath = dir / "new.pak";
    options.Compression = 1;
    int steps = 0;
    TConvertResult result = ConvertLibrary(options, [&](int done, int total) {
        EXPECT_EQ(total, 3);
        EXPECT_EQ(done, steps++);
    });
    ASSERT_TRUE(result.Done) << result.Error;
    EXPECT_EQ(result.Converted, 3);
    EXPECT_EQ(steps, 4);

    auto source = cli_test::OpenForTest(dir / "old.wis");
    auto target = cli_test::OpenForTest(dir / "new.pak");
    ASSERT_EQ(target->ImageCount(), 3);
    int sx = 0, sy = 0, tx = 0, ty = 0;
    auto a = source->Get(2, sx, sy);
    auto b = target->Get(2, tx, ty);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(TPoint(tx, ty), (TPoint{5, 6})) << "the image after the gap keeps its number";
    EXPECT_EQ(cli_test::PictureArgb(*a), cli_test::PictureArgb(*b));
    EXPECT_TRUE(NoTemporaryFiles(dir.Path()));
}

} // namespace
} // namespace velmora
