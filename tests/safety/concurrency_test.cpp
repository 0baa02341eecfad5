// A batch export over several worker threads while the main thread keeps drawing thumbnails and
// previews of the same library, as the editor does; run under the thread sanitizer in CI.

#include "core/dib.h"
#include "files/picture_files.h"
#include "operations/batch_export.h"
#include "operations/export_picture.h"
#include "support/formats_support.h"
#include "support/safety_support.h"

#include <gtest/gtest.h>

namespace velmora::safety_test {

namespace {

constexpr int kImages = 1000;
constexpr int kSide = 6;

class ExportWhileDrawing : public ::testing::TestWithParam<TLibraryCase> {};

TEST_P(ExportWhileDrawing, WorkersAndTheMainThreadShareTheLibrary) {
    const TLibraryCase c = GetParam();
    test::TFormatsTempDir dir;
    const std::string path = LibraryPath(dir.Path(), c);
    CreateTestLibrary(path, c, kImages, kSide);
    auto library = OpenTestLibrary(path, c);
    ASSERT_NE(library, nullptr);
    ASSERT_EQ(library->ImageCount(), kImages);

    TBatchExportRun run(*library);
    ASSERT_TRUE(run.Start(dir / "out", ifBMP, 0, kImages - 1, 2));
    TDIB canvas;
    canvas.SetSize(40, 40, 32);
    int drawn = 0;
    for (int i = 0; run.RunningWorkers() > 0 || i < 200; ++i) {
        const int index = (i * 37) % kImages;
        int w = 40, h = 40;
        library->StretchBlt(index, canvas, 0, 0, w, h);
        ASSERT_NE(library->GetBitmap(index), nullptr);
        EXPECT_EQ(library->GetPoint(index), (TPoint{index % 50, -(index % 30)}));
        ++drawn;
    }
    const TBatchExportResult result = run.Wait({}, 5);
    ASSERT_TRUE(result.Succeeded());
    EXPECT_EQ(result.Workers, 2);
    EXPECT_EQ(result.Written, kImages);
    EXPECT_GT(drawn, 0);

    // Exported pixels are the library's, whatever the main thread decoded meanwhile.
    for (int index : {0, 499, kImages - 1}) {
        TDIB exported;
        ASSERT_TRUE(LoadPicture(dir / ("out/" + ExportFileName(index, ifBMP)), exported, ifBMP));
        int x = 0, y = 0;
        std::unique_ptr<TPicture> picture = library->Get(index, x, y);
        ASSERT_NE(picture, nullptr);
        ASSERT_NE(picture->AsDIB(), nullptr);
        EXPECT_EQ(exported.Width(), kSide);
        EXPECT_EQ(exported.Height(), kSide);
        for (int py = 0; py < kSide; ++py)
            for (int px = 0; px < kSide; ++px)
                ASSERT_EQ(exported.Pixel(px, py), picture->AsDIB()->Pixel(px, py))
                    << "image " << index;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, ExportWhileDrawing,
                         ::testing::Values(TLibraryCase::Wil, TLibraryCase::Wzl,
                                           TLibraryCase::PakNew));

} // namespace

} // namespace velmora::safety_test
