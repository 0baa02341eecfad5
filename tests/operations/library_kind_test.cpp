#include "operations/library_kind.h"

#include "files/pak_passwords.h"
#include "operations/create_library.h"
#include "support/cli_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace velmora {
namespace {

using cli_test::TCliTempDir;

void WriteStart(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(LibraryKindOf, ExtensionDecidesAndPakFilesAreSniffed) {
    TCliTempDir dir;
    EXPECT_EQ(LibraryKindOf(dir / "a.WIS"), t_Wis);
    EXPECT_EQ(LibraryKindOf(dir / "a.wzl"), t_Wzl);
    EXPECT_EQ(LibraryKindOf(dir / "a.Wil"), t_Wil);
    EXPECT_EQ(LibraryKindOf(dir / "a.Data"), t_Wil);
    EXPECT_EQ(LibraryKindOf(dir / "a.bmp"), t_Wil);

    WriteStart(dir / "v0.pak", "K7PV4 and the rest");
    WriteStart(dir / "v0lower.PAK", "k7pv4");
    WriteStart(dir / "v0text.pak", "quillRAND.....");
    WriteStart(dir / "v1.pak", std::string("\x09") + "quillrand");
    WriteStart(dir / "v2.pak", std::string("\x0A") + "QUILLRAND2" + std::string(2, '\0'));
    WriteStart(dir / "short.pak", std::string("\x09") + "QUILL");
    WriteStart(dir / "len8.pak", std::string("\x08") + "QUILLRAND");
    WriteStart(dir / "other.pak", "WEMADE Entertainment inc.");
    EXPECT_EQ(LibraryKindOf(dir / "v0.pak"), t_Quillrand);
    EXPECT_EQ(LibraryKindOf(dir / "v0lower.PAK"), t_Quillrand);
    EXPECT_EQ(LibraryKindOf(dir / "v0text.pak"), t_Quillrand);
    EXPECT_EQ(LibraryKindOf(dir / "v1.pak"), t_Quillrand);
    EXPECT_EQ(LibraryKindOf(dir / "v2.pak"), t_Quillrand);
    EXPECT_EQ(LibraryKindOf(dir / "short.pak"), t_Wil) << "a file shorter than a test fails it";
    EXPECT_EQ(LibraryKindOf(dir / "len8.pak"), t_Wil);
    EXPECT_EQ(LibraryKindOf(dir / "other.pak"), t_Wil);
    EXPECT_EQ(LibraryKindOf(dir / "missing.pak"), t_Wil);

    // ".Data" holds Pak libraries as well as WIL ones: the magic decides.
    WriteStart(dir / "pak.Data", std::string("\x0A") + "QUILLRAND2" + std::string(2, '\0'));
    WriteStart(dir / "wil.data", std::string("\x19") + "WEMADE Entertainment inc.");
    EXPECT_EQ(LibraryKindOf(dir / "pak.Data"), t_Quillrand);
    EXPECT_EQ(LibraryKindOf(dir / "wil.data"), t_Wil);
}

TEST(PakPasswordFor, GivenThenListedThenDefault) {
    const std::vector<TPakPassword> saved = g_PakPasswords;
    g_PakPasswords = {{"d:/x/Listed.PAK", "fromlist"}, {"empty.pak", ""}};
    EXPECT_EQ(PakPasswordFor("/a/listed.pak", std::string("given")), "given");
    EXPECT_EQ(PakPasswordFor("/a/listed.pak", std::string("")), "")
        << "an explicitly empty password is tried as it is";
    EXPECT_EQ(PakPasswordFor("/b/listed.pak", std::nullopt), "fromlist");
    EXPECT_EQ(PakPasswordFor("/b/unlisted.pak", std::nullopt), "quillrand");
    EXPECT_EQ(PakPasswordFor("/b/empty.pak", std::nullopt), "quillrand");
    g_PakPasswords = saved;
}

TEST(OpenLibraryFile, OutcomesAreDistinct) {
    TCliTempDir dir;
    EXPECT_EQ(OpenLibraryFile(dir / "none.wil").Status, TOpenStatus::osMissing);

    ASSERT_TRUE(CreateLibraryFile(t_Quillrand, dir / "p.pak", 8, "secret").Created);
    TOpenResult wrong = OpenLibraryFile(dir / "p.pak", std::string("guess"));
    EXPECT_EQ(wrong.Status, TOpenStatus::osWrongPassword);
    EXPECT_FALSE(wrong.Library);
    TOpenResult right = OpenLibraryFile(dir / "p.pak", std::string("secret"));
    ASSERT_TRUE(right.Opened()) << right.Error;
    EXPECT_EQ(right.Library->ImageType(), t_Quillrand);
    EXPECT_EQ(right.PassWord, "secret");

    WriteStart(dir / "bad.wzl", "not a wzl");
    WriteStart(dir / "bad.wzx", "not an index");
    TOpenResult bad = OpenLibraryFile(dir / "bad.wzl");
    EXPECT_EQ(bad.Status, TOpenStatus::osFailed);
    EXPECT_FALSE(bad.Error.empty());

    // The read event is called per image while reading.
    ASSERT_TRUE(CreateLibraryFile(t_Wil, dir / "w.wil", 8, "").Created);
    int reads = 0;
    TOpenResult wil = OpenLibraryFile(dir / "w.wil", std::nullopt, [&](TGameImages*) { ++reads; });
    ASSERT_TRUE(wil.Opened());
    EXPECT_EQ(reads, 0);
}

TEST(CreateLibraryFile, KindsBitCountsAndPasswords) {
    TCliTempDir dir;
    EXPECT_EQ(CreationBitCount(t_Wil, 24), 24);
    EXPECT_EQ(CreationBitCount(t_Wil, 12), 8);
    EXPECT_EQ(CreationBitCount(t_Wzl, 32), 8);
    EXPECT_EQ(CreationPassword(t_Quillrand, ""), "quillrand");
    EXPECT_EQ(CreationPassword(t_Wil, "x"), "");

    TCreateResult wis = CreateLibraryFile(t_Wis, dir / "a.wis", 8, "");
    EXPECT_FALSE(wis.Created);
    EXPECT_FALSE(std::filesystem::exists(dir / "a.wis"));

    ASSERT_TRUE(CreateLibraryFile(t_Quillrand, dir / "d.pak", 8, "").Created);
    EXPECT_TRUE(OpenLibraryFile(dir / "d.pak", std::string("quillrand")).Opened())
        << "an empty password creates the default one";

    ASSERT_TRUE(CreateLibraryFile(t_Wil, dir / "w.wil", 32, "").Created);
    TOpenResult wil = OpenLibraryFile(dir / "w.wil");
    ASSERT_TRUE(wil.Opened());
    EXPECT_EQ(wil.Library->BitCount(), 32);

    TCreateResult blocked = CreateLibraryFile(t_Wzl, dir / "no-such-folder/x.wzl", 8, "");
    EXPECT_FALSE(blocked.Created);
    EXPECT_FALSE(blocked.Error.empty());
}

} // namespace
} // namespace velmora
