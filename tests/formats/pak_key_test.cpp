#include "formats/pak.h"

#include "core/checked.h"
#include "protection/cipher.h"
#include "protection/password_text.h"
#include "support/pak_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace velmora {
namespace {

using test::BuildPakFile;
using test::DecryptPakHeader;
using test::MakePatternDIB;
using test::NewRecordHeader;
using test::OldRecordHeader;
using test::ReadPakBytes;
using test::TPakScratchDir;
using test::TPakTestFile;
using test::WritePakBytes;

std::unique_ptr<TQuillrand> OpenPak(const std::string& file, const std::string& password) {
    auto pak = std::make_unique<TQuillrand>(file);
    pak->InputPassWord(password);
    if (!pak->CheckPassword())
        return nullptr;
    pak->Initialize();
    return pak;
}

std::vector<uint8_t> Decoded(TGameImages& lib, int index) {
    int px, py;
    auto pic = lib.Get(index, px, py);
    if (!pic || !pic->AsDIB())
        return {};
    const TDIB& d = *pic->AsDIB();
    return std::vector<uint8_t>(d.PBits(), d.PBits() + d.Size());
}

bool KeyMaterialIsZero(const std::vector<uint8_t>& header) {
    return std::all_of(header.begin() + 108, header.end(), [](uint8_t b) { return b == 0; });
}

TEST(PakPassword, CandidatesAreTriedWithoutReopening) {
    TPakScratchDir dir("pak_pw");
    const std::string file = dir.File("p.Pak");
    TPakTestFile fileLayout;
    auto dib = MakePatternDIB(5, 5, 16, 1);
    fileLayout.Records = {{NewRecordHeader(5, 0, 5, 5, 0, 0, 0),
                           std::vector<uint8_t>(dib->PBits(), dib->PBits() + dib->Size())}};
    WritePakBytes(file, BuildPakFile(fileLayout));

    TQuillrand pak(file);
    EXPECT_EQ(pak.GetBitmap(0), nullptr);
    for (const char* wrong : {"", "Secret", "secret ", "quillrand"}) {
        pak.InputPassWord(wrong);
        EXPECT_FALSE(pak.CheckPassword()) << wrong;
    }
    pak.InputPassWord("other");
    pak.InputPassWord("secret"); // only the last call counts
    ASSERT_TRUE(pak.CheckPassword());
    pak.Initialize();
    EXPECT_EQ(pak.ImageCount(), 1);
    EXPECT_EQ(Decoded(pak, 0), std::vector<uint8_t>(dib->PBits(), dib->PBits() + dib->Size()));

    TQuillrand missing(dir.File("none.Pak"));
    missing.InputPassWord("secret");
    EXPECT_FALSE(missing.CheckPassword());
}

TEST(PakPassword, AnyMagicTextOpensAnyVariant) {
    TPakScratchDir dir("pak_magic");
    const std::string file = dir.File("m.Pak");
    for (const char* text : {"K7PV4", "QUILLRAND", "QUILLRAND2"}) {
        TPakTestFile fileLayout;
        fileLayout.Variant = 1;
        fileLayout.CheckText = text;
        WritePakBytes(file, BuildPakFile(fileLayout));
        EXPECT_TRUE(OpenPak(file, "secret")) << text;
    }
    for (const std::string& text : {std::string("QUILLRAND3"), std::string("K7PV"),
                                    std::string("quillrand"), std::string("QUILLRAND2\0", 11)}) {
        TPakTestFile fileLayout;
        fileLayout.CheckText = text;
        WritePakBytes(file, BuildPakFile(fileLayout));
        EXPECT_FALSE(OpenPak(file, "secret")) << text;
    }
    // No check code at all never opens (outside the one-time conversion below).
    TPakTestFile empty;
    empty.CheckText = "";
    empty.StoreKey = true;
    WritePakBytes(file, BuildPakFile(empty));
    EXPECT_FALSE(OpenPak(file, "secret"));
}

TEST(PakPassword, OlderVariantZeroFilesAreConvertedOnce) {
    TPakScratchDir dir("pak_upgrade");
    const std::string file = dir.File("u.Pak");
    TPakTestFile fileLayout;
    fileLayout.Variant = 0;
    fileLayout.bfType = 0;
    fileLayout.CheckText = "";
    fileLayout.StoreKey = true;
    fileLayout.Password = "旧密码";
    auto dib = MakePatternDIB(4, 4, 16, 1);
    const std::vector<uint8_t> pixels(dib->PBits(), dib->PBits() + dib->Size());
    fileLayout.Records = {{OldRecordHeader(0, 4, 4, 2, 3), pixels}};
    const std::vector<uint8_t> original = BuildPakFile(fileLayout);
    WritePakBytes(file, original);

    // A wrong password neither opens nor touches the file.
    EXPECT_FALSE(OpenPak(file, "wrong"));
    EXPECT_EQ(ReadPakBytes(file), original);

    // Opening writes nothing (the file may be on read-only media); the next edit converts it.
    auto pak = OpenPak(file, "旧密码");
    ASSERT_TRUE(pak);
    EXPECT_EQ(Decoded(*pak, 0), pixels);
    EXPECT_EQ(pak->GetPoint(0), (TPoint{2, 3}));
    EXPECT_EQ(ReadPakBytes(file), original);
    pak->SetPoint(0, {2, 4});
    pak.reset();

    const std::vector<uint8_t> converted = ReadPakBytes(file);
    EXPECT_EQ(converted.size(), original.size());
    const std::vector<uint8_t> h = DecryptPakHeader(converted, 0);
    ASSERT_EQ(h[68], 5);
    EXPECT_TRUE(KeyMaterialIsZero(h));
    uint8_t text[5];
    DecryptChained(&h[69], text, 5, DeriveKey(PasswordKeyText("旧密码").value()));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text), 5), "K7PV4");

    EXPECT_FALSE(OpenPak(file, "wrong"));
    pak = OpenPak(file, "旧密码");
    ASSERT_TRUE(pak);
    EXPECT_EQ(Decoded(*pak, 0), pixels);
}

TEST(PakPassword, ChangePasswordWithBackup) {
    TPakScratchDir dir("pak_change");
    for (uint8_t layout : {uint8_t(2), uint8_t(0)}) {
        SCOPED_TRACE(int(layout));
        const std::string file = dir.File("c.Pak");
        TPakTestFile fileLayout;
        fileLayout.bfType = layout;
        std::vector<std::vector<uint8_t>> pixels;
        for (int i = 0; i < 4; ++i) {
            auto dib = MakePatternDIB(5 + i, 3, 16, uint32_t(i));
            pixels.emplace_back(dib->PBits(), dib->PBits() + dib->Size());
            std::vector<uint8_t> run(pixels.back().begin(),
                                     pixels.back().begin() + (5 + i) * 3 * 2);
            if (layout)
                fileLayout.Records.push_back(
                    {NewRecordHeader(5, 0, 5 + i, 3, i, i, 0), pixels.back()});
            else
                fileLayout.Records.push_back({OldRecordHeader(0, 5 + i, 3, i, i), run});
            if (!layout)
                std::fill(pixels.back().begin() + long(run.size()), pixels.back().end(), 0);
        }
        fileLayout.Records.push_back({});
        WritePakBytes(file, BuildPakFile(fileLayout));
        std::filesystem::remove(file + ".bak");

        auto pak = OpenPak(file, "secret");
        ASSERT_TRUE(pak);
        const std::vector<uint8_t> before = ReadPakBytes(file);
        int reads = 0;
        pak->SetOnRead([&](TGameImages*) { ++reads; });
        pak->ChangePassword("新的", true);
        EXPECT_EQ(reads, 5);
        EXPECT_EQ(ReadPakBytes(file + ".bak"), before);
        // The library stays usable under the new key.
        EXPECT_EQ(Decoded(*pak, 1), pixels[1]);
        pak.reset();

        EXPECT_TRUE(KeyMaterialIsZero(DecryptPakHeader(ReadPakBytes(file), 2)));
        EXPECT_FALSE(OpenPak(file, "secret"));
        pak = OpenPak(file, "新的");
        ASSERT_TRUE(pak);
        ASSERT_EQ(pak->ImageCount(), 5);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(Decoded(*pak, i), pixels[size_t(i)]) << i;
            EXPECT_EQ(pak->GetPoint(i), (TPoint{i, i}));
        }
        EXPECT_FALSE(pak->Snapshot()->Record(4)->HasImage());

        // An empty new password makes the default password the file's password; no backup.
        std::filesystem::remove(file + ".bak");
        pak->ChangePassword("", false);
        EXPECT_FALSE(std::filesystem::exists(file + ".bak"));
        pak.reset();
        EXPECT_FALSE(OpenPak(file, "新的"));
        pak = OpenPak(file, kDefaultPakPassword);
        ASSERT_TRUE(pak);
        EXPECT_EQ(Decoded(*pak, 3), pixels[3]);
    }
}

TEST(PakPassword, ChangePasswordNeedsAnOpenedLibrary) {
    TPakScratchDir dir("pak_change_closed");
    const std::string file = dir.File("x.Pak");
    TQuillrand(file).CreateFile(8, "a");
    const std::vector<uint8_t> before = ReadPakBytes(file);
    TQuillrand pak(file);
    pak.InputPassWord("a");
    ASSERT_TRUE(pak.CheckPassword());
    // Not initialised: refused, nothing written.
    EXPECT_THROW(pak.ChangePassword("b", true), EEditRefused);
    EXPECT_EQ(ReadPakBytes(file), before);
    EXPECT_FALSE(std::filesystem::exists(file + ".bak"));
}

} // namespace
} // namespace velmora
