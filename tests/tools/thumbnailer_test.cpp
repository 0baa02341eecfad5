// velmora-thumbnailer on the demo libraries: a PNG of the first visible image fitted into the
// size asked, and a library left exactly as it was, even one with an interrupted save beside it.

#include "tools/demo/demo_folder.h"

#include "core/file_stream.h"
#include "core/png_picture.h"
#include "core/journal.h"
#include "files/picture_files.h"
#include "operations/library_files.h"
#include "support/cli_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>

namespace velmora::demo {
namespace {

namespace fs = std::filesystem;
using cli_test::TCliTempDir;

int Thumbnail(const std::vector<std::string>& args, const std::string& home) {
    std::string command = "VELMORA_HOME='" + home + "' '" VELMORA_THUMBNAILER_PATH "'";
    for (const std::string& a : args)
        command += " '" + a + "'";
    const int status = std::system((command + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Thumbnailer, WritesTheFirstImageAndChangesNothing) {
    TCliTempDir dir;
    const std::vector<TDemoLibrary> libraries = WriteDemoFolder(dir.Path());
    ASSERT_GE(libraries.size(), 6u);
    for (const TDemoLibrary& library : libraries) {
        SCOPED_TRACE(library.FileName);
        const std::vector<std::string> files = LibraryFiles(library.FileName, library.Kind);
        // A read-only data file with the journal of an interrupted save beside it: opening for an
        // edit would recover the save and make the file writable. The thumbnailer changes
        // nothing: it draws no picture of files a save left half made, and draws the library
        // once the journal is gone.
        ASSERT_EQ(::chmod(files.front().c_str(), 0444), 0);
        const std::string journal = JournalNameFor(files.front());
        std::ofstream(journal) << "an interrupted save";
        std::vector<std::vector<uint8_t>> before;
        for (const std::string& file : files)
            before.push_back(TFileStream::ReadAll(file));

        const std::string out = dir / "thumb.png";
        EXPECT_EQ(Thumbnail({"-s", "48", library.FileName, out}, dir.Path() + "/"), 1);
        EXPECT_FALSE(FileExists(out));
        EXPECT_TRUE(FileExists(journal));
        fs::remove(journal);
        ASSERT_EQ(Thumbnail({"-s", "48", library.FileName, out}, dir.Path() + "/"), 0);
        const std::unique_ptr<TPngPicture> png = LoadPngPicture(out);
        ASSERT_TRUE(png);
        EXPECT_TRUE(png->Width() <= 48 && png->Height() <= 48 &&
                    (png->Width() > 24 || png->Height() > 24))
            << png->Width() << " x " << png->Height();
        EXPECT_TRUE(png->HasAlpha());

        for (size_t k = 0; k < files.size(); ++k)
            EXPECT_EQ(TFileStream::ReadAll(files[k]), before[k]) << files[k];
        struct stat st {};
        ASSERT_EQ(::stat(files.front().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0444u);
        fs::remove(out);
    }
}

TEST(Thumbnailer, RefusesLargeFilesAndWrongArguments) {
    TCliTempDir dir;
    // A WZL library that thumbnails well, grown past 2 GiB by a sparse tail after its records.
    const std::vector<TDemoLibrary> libraries = WriteDemoFolder(dir.Path());
    const auto wzl = std::find_if(libraries.begin(), libraries.end(),
                                  [](const TDemoLibrary& l) { return l.Kind == t_Wzl; });
    ASSERT_NE(wzl, libraries.end());
    const std::string huge = wzl->FileName;
    ASSERT_EQ(Thumbnail({"-s", "64", huge, dir / "a.png"}, dir.Path() + "/"), 0);
    fs::remove(dir / "a.png");
    fs::resize_file(huge, (uint64_t(2) << 30) + 1);
    EXPECT_EQ(Thumbnail({"-s", "64", huge, dir / "a.png"}, dir.Path() + "/"), 1);
    EXPECT_FALSE(FileExists(dir / "a.png"));
    EXPECT_EQ(Thumbnail({"-s", "0", huge, dir / "a.png"}, dir.Path() + "/"), 2);
    EXPECT_EQ(Thumbnail({huge, dir / "a.png"}, dir.Path() + "/"), 2);
    EXPECT_EQ(Thumbnail({"-s", "64", dir / "missing.wzl", dir / "a.png"}, dir.Path() + "/"), 1);
}

} // namespace
} // namespace velmora::demo
