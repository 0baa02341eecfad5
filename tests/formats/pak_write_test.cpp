#include "formats/pak.h"

#include "core/checked.h"
#include "core/png_picture.h"
#include "formats/image_info.h"
#include "formats/wil.h"
#include "formats/wzl.h"
#include "protection/cipher.h"
#include "protection/password_text.h"
#include "support/pak_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace velmora {
namespace {

using test::BuildPakFile;
using test::DecryptPakHeader;
using test::MakeAlphaDIB;
using test::MakePatternDIB;
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

std::unique_ptr<TQuillrand> NewPak(const std::string& file, int bitCount) {
    TQuillrand(file).CreateFile(uint8_t(bitCount), "pw");
    return OpenPak(file, "pw");
}

std::vector<uint8_t> Storage(const TDIB& dib) {
    return std::vector<uint8_t>(dib.PBits(), dib.PBits() + dib.Size());
}

std::vector<uint8_t> Decoded(TGameImages& lib, int index, TPoint* point = nullptr) {
    int px = 0, py = 0;
    std::unique_ptr<TPicture> pic = lib.Get(index, px, py);
    if (point)
        *point = {px, py};
    if (!pic || !pic->AsDIB())
        return {};
    return Storage(*pic->AsDIB());
}

TEST(PakWrite, NewFileHeader) {
    TPakScratchDir dir("pak_create");
    const std::string file = dir.File("new.Pak");
    WritePakBytes(file, std::vector<uint8_t>(5000, 0xAB)); // overwritten and cut
    EXPECT_TRUE(TQuillrand(file).CreateFile(16, "测试"));
    const std::vector<uint8_t> bytes = ReadPakBytes(file);
    ASSERT_EQ(bytes.size(), 269u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 13),
              (std::vector<uint8_t>{10, 'Q', 'U', 'I', 'L', 'L', 'R', 'A', 'N', 'D', '2', 0, 0}));

    const std::vector<uint8_t> h = DecryptPakHeader(bytes, 2);
    EXPECT_EQ(h[0], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&h[2]), h[1]), "quillrand.example");
    EXPECT_EQ(GetU32(&h[42]), 269u);
    EXPECT_EQ(GetU32(&h[46]), 0u);
    EXPECT_EQ(h[50], 2);
    EXPECT_EQ(GetU32(&h[54]), 269u);
    EXPECT_EQ(GetU16(&h[58]), 16);
    double date;
    std::memcpy(&date, &h[60], 8);
    EXPECT_GT(date, 45000.0); // after 2023
    ASSERT_EQ(h[68], 10);
    const TPakKey key = DeriveKey("\xB2\xE2\xCA\xD4");
    uint8_t text[10];
    DecryptChained(&h[69], text, 10, key);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text), 10), "QUILLRAND2");
    // The header is encrypted under a key anyone can derive: the library key stays out of it,
    // in a new file as in every header written after (the check code alone tells a password).
    const auto keyless = [&](const char* step) {
        const std::vector<uint8_t> header = DecryptPakHeader(ReadPakBytes(file), 2);
        EXPECT_TRUE(std::all_of(header.begin() + 108, header.end(), [](uint8_t b) {
            return b == 0;
        })) << step;
    };
    keyless("created");

    // Saving the empty library keeps it 269 bytes; the edits after it keep the key out too.
    auto pak = OpenPak(file, "测试");
    ASSERT_TRUE(pak);
    EXPECT_EQ(pak->ImageCount(), 0);
    {
        auto update = pak->BeginUpdate(0);
        update.MarkChanged();
        update.EndUpdate();
    }
    EXPECT_EQ(ReadPakBytes(file).size(), 269u);
    keyless("saved");
    {
        auto update = pak->BeginUpdate(-1);
        auto picture = MakePatternDIB(9, 7, 16, 3);
        update.Add(*picture, 1, 2, 1, nullptr);
        update.EndUpdate();
    }
    keyless("appended");
    pak->SetPoint(0, {5, 6});
    keyless("offset patched");
    pak->ChangePassword("新的", true);
    keyless("re-keyed");
    pak.reset();
    EXPECT_TRUE(OpenPak(file, "新的"));
    EXPECT_FALSE(OpenPak(file, "测试"));
    EXPECT_FALSE(OpenPak(file, "other"));
}

TEST(PakWrite, NewLayoutRoundTripsEveryBitCount) {
    TPakScratchDir dir("pak_roundtrip");
    for (int bits : {8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        const std::string file = dir.File("r.Pak");
        auto pak = NewPak(file, bits);
        ASSERT_TRUE(pak);
        std::vector<std::unique_ptr<TDIB>> pictures;
        auto update = pak->BeginUpdate(0);
        for (int i = 0; i < 6; ++i) {
            pictures.push_back(MakePatternDIB(3 + i * 2, 5 + i, bits, uint32_t(i + bits)));
            ASSERT_TRUE(update.Add(*pictures.back(), -i * 100, i * 7, uint8_t(i % 3), nullptr));
        }
        auto tiny = MakePatternDIB(2, 2, bits, 0);
        ASSERT_TRUE(update.Add(*tiny, 1, 1, 0, nullptr));
        update.EndUpdate();
        EXPECT_EQ(pak->ImageCount(), 7);
        pak.reset();

        const std::vector<uint8_t> h = DecryptPakHeader(ReadPakBytes(file), 2);
        EXPECT_EQ(GetU32(&h[46]), 7u);
        EXPECT_TRUE(std::all_of(h.begin() + 108, h.end(), [](uint8_t b) { return b == 0; }));

        pak = OpenPak(file, "pw");
        ASSERT_TRUE(pak);
        ASSERT_EQ(pak->ImageCount(), 7);
        for (int i = 0; i < 6; ++i) {
            TPoint point;
            EXPECT_EQ(Decoded(*pak, i, &point), Storage(*pictures[size_t(i)])) << i;
            EXPECT_EQ(point, (TPoint{-i * 100, i * 7}));
        }
        EXPECT_FALSE(pak->Snapshot()->Record(6)->HasImage());
        EXPECT_EQ(pak->GetBitmap(6)->Width(), 1);
    }
}

TEST(PakWrite, CompressionChoices) {
    TPakScratchDir dir("pak_compress");
    auto pak = NewPak(dir.File("c.Pak"), 16);
    ASSERT_TRUE(pak);
    auto dib = MakePatternDIB(40, 30, 16, 5);
    // Every non-zero choice means zlib: 3 stores the same bytes as 1.
    auto one = pak->EncodeImage(*dib, 1, 2, 1, nullptr);
    auto three = pak->EncodeImage(*dib, 1, 2, 3, nullptr);
    ASSERT_TRUE(one && three);
    EXPECT_EQ(one->Image, three->Image);
    EXPECT_TRUE(one->boCompression);
    EXPECT_LT(one->DataSize, 16 + dib->Size());

    // Data that does not shrink is stored raw with data length 0.
    TDIB noise;
    noise.SetPixelFormat(MakePixelFormat(5, 6, 5));
    noise.SetSize(16, 16, 16);
    uint32_t state = 99;
    for (int i = 0; i < noise.Size(); ++i) {
        state = state * 1664525u + 1013904223u;
        noise.PBits()[i] = uint8_t(state >> 24);
    }
    auto raw = pak->EncodeImage(noise, 0, 0, 1, nullptr);
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->DataSize, 16 + noise.Size());
    EXPECT_FALSE(raw->boCompression);
    EXPECT_EQ(GetI32(&raw->Image[12]), 0);

    // Sizes beyond 16 bits cannot be stored faithfully: refused.
    TDIB wide;
    wide.SetPixelFormat(MakePixelFormat(8, 8, 8));
    wide.SetSize(40000, 1, 8);
    EXPECT_EQ(pak->EncodeImage(wide, 0, 0, 1, nullptr), nullptr);
}

TEST(PakWrite, PicturesAreStoredInADecodableLayout) {
    TPakScratchDir dir("pak_layout");
    auto pak = NewPak(dir.File("l.Pak"), 16);
    ASSERT_TRUE(pak);
    TDIB rgb555;
    rgb555.SetPixelFormat(MakePixelFormat(5, 5, 5));
    rgb555.SetSize(4, 3, 16);
    rgb555.SetPixel(1, 1, 0x7C00); // pure red in 5-5-5
    rgb555.SetPixel(2, 1, 0x03E0); // pure green
    auto stored = pak->EncodeImage(rgb555, 0, 0, 0, nullptr);
    ASSERT_TRUE(stored);
    auto update = pak->BeginUpdate(0);
    ASSERT_TRUE(update.Add(rgb555, 0, 0, 0, nullptr));
    update.EndUpdate();
    auto* pic = pak->GetBitmap(0);
    ASSERT_TRUE(pic && pic->AsDIB());
    EXPECT_EQ(pic->AsDIB()->Pixel(1, 1), 0xF800u);
    EXPECT_EQ(pic->AsDIB()->Pixel(2, 1), 0x07E0u);
    EXPECT_EQ(rgb555.Pixel(1, 1), 0x7C00u); // the caller's picture is left alone
}

TEST(PakWrite, AlphaRecordsRawAndCompressed) {
    TPakScratchDir dir("pak_alpha");
    const std::string file = dir.File("a.Pak");
    auto pak = NewPak(file, 24);
    ASSERT_TRUE(pak);
    auto dib = MakePatternDIB(7, 5, 24, 2);
    auto alpha = MakeAlphaDIB(7, 5, 9);
    auto wrongSize = MakeAlphaDIB(6, 5, 9);
    // Rows that repeat: the compressed record must come out smaller than the raw one, or it is
    // stored raw.
    for (int y = 1; y < 5; ++y) {
        std::memcpy(dib->ScanLine(y), dib->ScanLine(0), 7 * 3);
        std::memcpy(alpha->ScanLine(y), alpha->ScanLine(0), 7);
    }
    auto update = pak->BeginUpdate(0);
    ASSERT_TRUE(update.Add(*dib, 0, 0, 0, alpha.get()));
    ASSERT_TRUE(update.Add(*dib, 0, 0, 1, alpha.get()));
    ASSERT_TRUE(update.Add(*dib, 0, 0, 0, wrongSize.get()));
    update.EndUpdate();
    // Raw: colour block plus a full plane of ((7 * 8 + 31) div 32) * 4 * 5 bytes.
    EXPECT_EQ(pak->Snapshot()->Record(0)->DataSize, 16 + 24 * 5 + 8 * 5);
    pak.reset();

    pak = OpenPak(file, "pw");
    ASSERT_TRUE(pak);
    for (int i : {0, 1}) {
        SCOPED_TRACE(i);
        const auto info = pak->GetImageInfo(i);
        ASSERT_TRUE(info);
        EXPECT_EQ((*info)[3], 1);
        EXPECT_EQ(GetI32(&(*info)[12]) > 0, i == 1);
        int px, py;
        auto pic = pak->Get(i, px, py);
        ASSERT_TRUE(pic && pic->AsPng() && pic->AsPng()->HasAlpha());
        const TPngPicture& png = *pic->AsPng();
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                ASSERT_EQ(png.AlphaScanline(y)[x], alpha->Pixel(x, y));
                const TColor c = dib->PixelColor(x, y);
                ASSERT_EQ(png.Scanline(y)[x * 3], RedOf(c));
                ASSERT_EQ(png.Scanline(y)[x * 3 + 2], BlueOf(c));
            }
    }
    // An alpha buffer of another size is not stored (it would break the record).
    EXPECT_EQ((*pak->GetImageInfo(2))[3], 0);
    EXPECT_EQ(Decoded(*pak, 2), Storage(*dib));
}

// Old-layout libraries of every variant: saving writes the records from the variant's data base,
// so the header in front of them stays intact.
TEST(PakWrite, OldLayoutSavesInEveryVariant) {
    TPakScratchDir dir("pak_old_write");
    for (int variant : {0, 1, 2}) {
        SCOPED_TRACE(variant);
        TPakTestFile fileLayout;
        fileLayout.Variant = variant;
        fileLayout.bfType = 0;
        fileLayout.BitCount = 16;
        fileLayout.CheckText = "K7PV4";
        auto first = MakePatternDIB(4, 4, 16, 1);
        std::vector<uint8_t> run(first->PBits(), first->PBits() + 32);
        fileLayout.Records = {{OldRecordHeader(0, 4, 4, 5, 6), run}};
        const std::string file = dir.File("o.Pak");
        WritePakBytes(file, BuildPakFile(fileLayout));

        auto pak = OpenPak(file, "secret");
        ASSERT_TRUE(pak);
        auto a = MakePatternDIB(6, 3, 16, 2); // width 6: no row padding at 16 bits
        auto b = MakePatternDIB(5, 4, 16, 3); // width 5: padded rows, stored as one run
        auto c = MakePatternDIB(9, 2, 24, 4); // another bit count: converted to 16
        auto update = pak->BeginUpdate(0);
        ASSERT_TRUE(update.Add(*a, -1, -2, 1, nullptr));
        ASSERT_TRUE(update.Add(*b, 3, 4, 2, nullptr));
        ASSERT_TRUE(update.Add(*a, 0, 0, 3, nullptr));
        ASSERT_TRUE(update.Add(*c, 0, 0, 0, nullptr));
        update.EndUpdate();
        pak.reset();

        const std::vector<uint8_t> bytes = ReadPakBytes(file);
        const std::vector<uint8_t> h = DecryptPakHeader(bytes, variant);
        EXPECT_EQ(GetU32(&h[46]), 5u);
        EXPECT_EQ(bytes.size(), GetU32(&h[54]) + 5 * 8 + 1);

        pak = OpenPak(file, "secret");
        ASSERT_TRUE(pak);
        ASSERT_EQ(pak->ImageCount(), 5);
        const int base = variant == 2 ? 269 : variant == 1 ? 266 : 262;
        EXPECT_EQ(pak->Snapshot()->Record(0)->OffSet, base);
        EXPECT_EQ(Decoded(*pak, 0), Storage(*first));
        EXPECT_EQ(pak->GetPoint(0), (TPoint{5, 6}));
        EXPECT_EQ(Decoded(*pak, 1), Storage(*a));
        EXPECT_EQ(pak->GetPoint(1), (TPoint{-1, -2}));
        std::vector<uint8_t> prefix = Storage(*b);
        std::fill(prefix.begin() + 5 * 4 * 2, prefix.end(), 0);
        EXPECT_EQ(Decoded(*pak, 2), prefix);
        // Packing kind 3 is stored as asked, with the pixels unchanged.
        EXPECT_EQ(GetI32(pak->GetImageInfo(3)->data()), 3);
        EXPECT_EQ(pak->Snapshot()->Record(3)->DataSize, 12 + 6 * 3 * 2);
        EXPECT_EQ(Decoded(*pak, 3), Storage(*a));
        TDIB converted;
        converted.SetPixelFormat(MakePixelFormat(5, 6, 5));
        converted.SetSize(9, 2, 16);
        converted.Draw(0, 0, *c);
        // Width 9 pads each 18-byte row to 20: the stored run of 36 bytes leaves the last 4 black.
        std::vector<uint8_t> expected = Storage(converted);
        std::fill(expected.begin() + 36, expected.end(), 0);
        EXPECT_EQ(Decoded(*pak, 4), expected);
    }
}

TEST(PakWrite, SetPointPatchesOnlyTheRecordHeader) {
    TPakScratchDir dir("pak_setpoint");
    for (int layout : {2, 0}) {
        SCOPED_TRACE(layout);
        const std::string file = dir.File("s.Pak");
        TPakTestFile fileLayout;
        fileLayout.bfType = uint8_t(layout);
        auto dib = MakePatternDIB(6, 4, 16, 1);
        fileLayout.Records = {
            {},
            {layout ? test::NewRecordHeader(5, 0, 6, 4, 1, 1, 0) : OldRecordHeader(0, 6, 4, 1, 1),
             Storage(*dib)}};
        WritePakBytes(file, BuildPakFile(fileLayout));
        auto pak = OpenPak(file, "secret");
        ASSERT_TRUE(pak);
        const std::vector<uint8_t> before = ReadPakBytes(file);
        pak->SetPoint(1, {-3, 70000});
        pak->SetPoint(0, {9, 9});
        pak->SetPoint(5, {9, 9});
        EXPECT_EQ(pak->GetPoint(1), (TPoint{-3, int16_t(70000)}));
        const std::vector<uint8_t> after = ReadPakBytes(file);
        ASSERT_EQ(before.size(), after.size());
        const size_t offset = size_t(pak->Snapshot()->Record(1)->OffSet);
        const size_t headerSize = size_t(pak->Snapshot()->Record(1)->HeaderSize);
        for (size_t i = 0; i < after.size(); ++i) {
            if (i < offset || i >= offset + headerSize) {
                ASSERT_EQ(before[i], after[i]) << i;
            }
        }
        EXPECT_NE(before, after);
        pak.reset();
        pak = OpenPak(file, "secret");
        EXPECT_EQ(pak->GetPoint(1), (TPoint{-3, int16_t(70000)}));
        EXPECT_EQ(Decoded(*pak, 1), Storage(*dib));
        EXPECT_EQ(pak->GetPoint(0), (TPoint{}));
    }
}

TEST(PakWrite, EditsRewriteTheFile) {
    TPakScratchDir dir("pak_edits");
    const std::string file = dir.File("e.Pak");
    auto pak = NewPak(file, 16);
    ASSERT_TRUE(pak);
    std::vector<std::unique_ptr<TDIB>> pics;
    auto update = pak->BeginUpdate(0);
    for (int i = 0; i < 5; ++i) {
        pics.push_back(MakePatternDIB(5, 5, 16, uint32_t(i)));
        update.Add(*pics.back(), i, i, 1, nullptr);
    }
    update.EndUpdate();
    EXPECT_TRUE(pak->Delete(1, 2, nullptr));
    EXPECT_TRUE(pak->Fill(0, 0, nullptr));
    auto update2 = pak->BeginUpdate(1);
    EXPECT_TRUE(update2.Replace(1, *pics[0], 42, 43, 0, nullptr));
    update2.EndUpdate();
    pak.reset();

    pak = OpenPak(file, "pw");
    ASSERT_TRUE(pak);
    ASSERT_EQ(pak->ImageCount(), 3);
    EXPECT_EQ(pak->GetBitmap(0)->Width(), 1);
    TPoint p;
    EXPECT_EQ(Decoded(*pak, 1, &p), Storage(*pics[0]));
    EXPECT_EQ(p, (TPoint{42, 43}));
    EXPECT_EQ(Decoded(*pak, 2, &p), Storage(*pics[4]));
    EXPECT_EQ(p, (TPoint{4, 4}));
}

TEST(PakWrite, ConvertFromWilAndWzl) {
    TPakScratchDir dir("pak_convert");
    // A WIL source of 16 bits.
    const std::string wilFile = dir.File("src.wil");
    TWil(wilFile).CreateFile(16, "");
    std::vector<std::unique_ptr<TDIB>> pics;
    {
        TWil wil(wilFile);
        wil.Initialize();
        ASSERT_TRUE(wil.Initialized());
        auto update = wil.BeginUpdate(0);
        for (int i = 0; i < 3; ++i) {
            pics.push_back(MakePatternDIB(5 + i, 4, 16, uint32_t(i)));
            update.Add(*pics.back(), i, -i, 0, nullptr);
        }
        auto tiny = MakePatternDIB(2, 2, 16, 7);
        update.Add(*tiny, 0, 0, 0, nullptr);
        update.EndUpdate();
    }
    // A WZL source with a half-width alpha plane.
    const std::string wzlFile = dir.File("src.wzl");
    TWzl(wzlFile).CreateFile(32, "");
    auto rgba = MakePatternDIB(8, 6, 32, 11);
    auto alpha = MakeAlphaDIB(8, 6, 3);
    {
        TWzl wzl(wzlFile);
        wzl.Initialize();
        ASSERT_TRUE(wzl.Initialized());
        auto update2 = wzl.BeginUpdate(0);
        update2.Add(*rgba, 3, 3, 1, alpha.get());
        update2.Add(*pics[1], 1, 2, 0, nullptr);
        update2.EndUpdate();
    }

    const std::string file = dir.File("conv.Pak");
    auto pak = NewPak(file, 16);
    ASSERT_TRUE(pak);
    TWil wil(wilFile);
    wil.Initialize();
    TWzl wzl(wzlFile);
    wzl.Initialize();
    auto update3 = pak->BeginUpdate(0);
    for (const auto& record : wil.Snapshot()->Records())
        update3.Convert(record.get(), *wil.Snapshot(), 1);
    for (const auto& record : wzl.Snapshot()->Records())
        update3.Convert(record.get(), *wzl.Snapshot(), 0);
    update3.Convert(update3.Records()[0].get(), *pak->Snapshot(), 1); // a Pak source is not taken
    update3.EndUpdate();
    pak.reset();

    pak = OpenPak(file, "pw");
    ASSERT_TRUE(pak);
    ASSERT_EQ(pak->ImageCount(), 7);
    for (int i = 0; i < 3; ++i) {
        TPoint p;
        EXPECT_EQ(Decoded(*pak, i, &p), Storage(*pics[size_t(i)])) << i;
        EXPECT_EQ(p, (TPoint{i, -i}));
    }
    EXPECT_FALSE(pak->Snapshot()->Record(3)->HasImage());
    EXPECT_FALSE(pak->Snapshot()->Record(6)->HasImage());

    // The half-width plane comes out as a full plane, equal to what the WZL library decodes.
    const auto info = pak->GetImageInfo(4);
    ASSERT_TRUE(info);
    EXPECT_EQ((*info)[0], 7);
    EXPECT_EQ((*info)[3], 1);
    EXPECT_EQ(pak->Snapshot()->Record(4)->DataSize, 16 + 8 * 4 * 6 + 8 * 6);
    int px, py;
    auto fromPak = pak->Get(4, px, py);
    auto fromWzl = wzl.Get(0, px, py);
    ASSERT_TRUE(fromPak && fromPak->AsPng() && fromWzl && fromWzl->AsPng());
    for (int y = 0; y < 6; ++y) {
        EXPECT_EQ(0, std::memcmp(fromPak->AsPng()->AlphaScanline(y),
                                 fromWzl->AsPng()->AlphaScanline(y), 8));
        EXPECT_EQ(0,
                  std::memcmp(fromPak->AsPng()->Scanline(y), fromWzl->AsPng()->Scanline(y), 8 * 3));
    }
    EXPECT_EQ(Decoded(*pak, 5), Storage(*pics[1]));
}

} // namespace
} // namespace velmora
