#include "core/file_stream.h"

#include "support/core_support.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

namespace velmora {
namespace {

using core_test::ReadFileBytes;
using core_test::TCoreTempDir;
using core_test::WriteFileBytes;

TEST(FileStream, CreateWriteReadAtPositions) {
    TCoreTempDir dir;
    std::string name = dir.File("a.bin");
    {
        TFileStream f(name, TFileStream::fmCreate);
        EXPECT_TRUE(f.IsOpen());
        const uint8_t data[] = {1, 2, 3, 4};
        f.Write(data);
        EXPECT_EQ(f.Position(), 4);
        f.Seek(10);
        f.Write(data);
        EXPECT_EQ(f.Size(), 14);
        f.Flush();
    }
    std::vector<uint8_t> bytes = ReadFileBytes(name);
    ASSERT_EQ(bytes.size(), 14u);
    EXPECT_EQ(bytes[5], 0);
    EXPECT_EQ(bytes[13], 4);

    TFileStream f(name, TFileStream::fmOpenReadWrite);
    f.Seek(2);
    uint8_t two[2];
    f.ReadBuffer(two);
    EXPECT_EQ(two[0], 3);
    EXPECT_EQ(f.Position(), 4);
    f.Seek(12);
    uint8_t four[4];
    EXPECT_EQ(f.Read(four), 2u);
    f.Seek(13);
    EXPECT_THROW(f.ReadBuffer(four), EFileError);
    f.SetSize(3);
    EXPECT_EQ(f.Size(), 3);
    f.Close();
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(ReadFileBytes(name).size(), 3u);
}

TEST(FileStream, ErrorsCarryPathAndSystemText) {
    TCoreTempDir dir;
    std::string name = dir.File("missing/x.bin");
    try {
        TFileStream f(name, TFileStream::fmOpenRead);
        FAIL() << "opened a missing file";
    } catch (const EFileError& e) {
        EXPECT_EQ(e.Path(), name);
        EXPECT_NE(std::string(e.what()).find(name), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("No such file"), std::string::npos) << e.what();
    }
    EXPECT_THROW(TFileStream::ReadAll(name), EFileError);
}

TEST(FileStream, ReadOnlyHandleRefusesWrites) {
    TCoreTempDir dir;
    WriteFileBytes(dir.File("r"), {1});
    TFileStream f(dir.File("r"), TFileStream::fmOpenRead);
    const uint8_t b[1] = {2};
    EXPECT_THROW(f.Write(b), EFileError);
}

TEST(FileStream, MoveKeepsTheHandle) {
    TCoreTempDir dir;
    TFileStream a(dir.File("m"), TFileStream::fmCreate);
    TFileStream b(std::move(a));
    EXPECT_FALSE(a.IsOpen());
    EXPECT_TRUE(b.IsOpen());
    TFileStream c;
    c = std::move(b);
    EXPECT_TRUE(c.IsOpen());
    EXPECT_EQ(c.FileName(), dir.File("m"));
}

TEST(FileStream, ReadAll) {
    TCoreTempDir dir;
    std::vector<uint8_t> bytes(70000, 9);
    WriteFileBytes(dir.File("all"), bytes);
    EXPECT_EQ(TFileStream::ReadAll(dir.File("all")), bytes);
    WriteFileBytes(dir.File("none"), {});
    EXPECT_TRUE(TFileStream::ReadAll(dir.File("none")).empty());
}

// A replacement that cannot be written whole (here: past a file-size limit, as on a full disk)
// leaves the old file and no temporary one.
TEST(FileHelpers, WriteThroughTemporaryReplacesWholeOrNotAtAll) {
    TCoreTempDir dir;
    const std::string name = dir.File("picture.png");
    WriteFileBytes(name, {1, 2, 3});
    const std::vector<uint8_t> large(100000, 7);
    {
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const bool written = WriteFileThroughTemporary(name, large);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, handler);
        EXPECT_FALSE(written);
    }
    EXPECT_EQ(ReadFileBytes(name), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(FileExists(name + ".part"));
    EXPECT_TRUE(WriteFileThroughTemporary(name, large));
    EXPECT_EQ(ReadFileBytes(name), large);
    EXPECT_THROW(WriteFileThroughTemporary(dir.File("no/folder.png"), large), EFileError);
}

TEST(FileHelpers, ExistsAttributesAndCase) {
    TCoreTempDir dir;
    EXPECT_FALSE(FileExists(dir.File("x.WIX")));
    EXPECT_FALSE(FileExists(dir.Path())); // a folder is not a file
    WriteFileBytes(dir.File("x.wix"), {1});
    EXPECT_TRUE(FileExists(dir.File("x.wix")));
    EXPECT_EQ(FindFileAnyCaseExt(dir.File("x.WIX")), dir.File("x.wix"));
    EXPECT_EQ(FindFileAnyCaseExt(dir.File("x.wix")), dir.File("x.wix"));
    EXPECT_EQ(FindFileAnyCaseExt(dir.File("X.WIX")), dir.File("X.WIX")); // the name keeps its case
    EXPECT_EQ(FindFileAnyCaseExt(dir.File("y.WIX")), dir.File("y.WIX"));

    ::chmod(dir.File("x.wix").c_str(), 0444);
    ResetFileAttributes(dir.File("x.wix"));
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("x.wix").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IWUSR);
    ResetFileAttributes(dir.File("missing")); // ignored
    EXPECT_GE(ProcessorCount(), 1);
}

} // namespace
} // namespace velmora
