#include "operations/convert_library.h"

#include "core/file_stream.h"
#include "operations/create_library.h"
#include "operations/library_files.h"
#include "operations/library_kind.h"
#include "support/cli_support.h"
#include "support/wis_writer.h"

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

TEST(ConvertLibrary, OnlyTheOfferedConversions) {
    EXPECT_TRUE(ConversionSupported(t_Wil, t_Quillrand));
    EXPECT_TRUE(ConversionSupported(t_Wis, t_Quillrand));
    EXPECT_TRUE(ConversionSupported(t_Wzl, t_Quillrand));
    EXPECT_TRUE(ConversionSupported(t_Wil, t_Wzl));
    EXPECT_FALSE(ConversionSupported(t_Wzl, t_Wzl));
    EXPECT_FALSE(ConversionSupported(t_Quillrand, t_Quillrand));
    EXPECT_FALSE(ConversionSupported(t_Wis, t_Wzl));
    EXPECT_FALSE(ConversionSupported(t_Wil, t_Wil));
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
    test::TWisWriter writer;
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
