#include "formats/pak.h"

#include "core/checked.h"
#include "core/png_picture.h"
#include "core/zlib_util.h"
#include "formats/image_info.h"
#include "formats/pak_codec.h"
#include "protection/cipher.h"
#include "support/pak_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace velmora {
namespace {

using test::BuildPakFile;
using test::MakeAlphaDIB;
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

std::vector<uint8_t> Storage(const TDIB& dib) {
    return std::vector<uint8_t>(dib.PBits(), dib.PBits() + dib.Size());
}

std::vector<uint8_t> StorageOf(TPicture* picture) {
    EXPECT_NE(picture, nullptr);
    if (!picture || !picture->AsDIB())
        return {};
    return Storage(*picture->AsDIB());
}

TEST(PakRead, VariantsAndTheirMagic) {
    TPakScratchDir dir("pak_variants");
    struct Case {
        int variant;
        std::string magic0;
    };
    for (const Case& c :
         {Case{0, "K7PV4"}, Case{0, "k7pv4"}, Case{0, "K7pv4"}, Case{1, ""}, Case{2, ""}}) {
        SCOPED_TRACE(std::to_string(c.variant) + c.magic0);
        TPakTestFile fileLayout;
        fileLayout.Variant = c.variant;
        fileLayout.Variant0Magic = c.magic0;
        fileLayout.CheckText = c.variant == 0 ? "K7PV4" : "QUILLRAND";
        auto dib = MakePatternDIB(6, 4, 16, 3);
        fileLayout.Records.push_back({NewRecordHeader(5, 0, 6, 4, -7, 9, 0), Storage(*dib)});
        const std::string file = dir.File("v.Pak");
        WritePakBytes(file, BuildPakFile(fileLayout));
        auto pak = OpenPak(file, "secret");
        ASSERT_TRUE(pak);
        EXPECT_EQ(pak->btQuillrand(), c.variant);
        EXPECT_EQ(pak->ImageCount(), 1);
        EXPECT_EQ(pak->BitCount(), 16);
        EXPECT_EQ(pak->GetPoint(0), (TPoint{-7, 9}));
        EXPECT_EQ(StorageOf(pak->GetBitmap(0)), Storage(*dib));
    }

    // The length-prefixed "QUILLRAND2" is variant 2 although it also begins with "QUILLRAND".
    TPakTestFile two;
    const std::string file = dir.File("two.Pak");
    WritePakBytes(file, BuildPakFile(two));
    auto pak = OpenPak(file, "secret");
    ASSERT_TRUE(pak);
    EXPECT_EQ(pak->btQuillrand(), 2);

    // An unknown start never opens, even with a header that would decrypt.
    std::vector<uint8_t> bytes = BuildPakFile(two);
    bytes[1] = 'X';
    WritePakBytes(file, bytes);
    TQuillrand unknown(file);
    unknown.InputPassWord("secret");
    EXPECT_FALSE(unknown.CheckPassword());
}

TEST(PakRead, NewLayoutRecordsRawCompressedAndWithAlpha) {
    TPakScratchDir dir("pak_new");
    TPakTestFile fileLayout;
    fileLayout.BitCount = 24;
    auto d24 = MakePatternDIB(5, 3, 24, 1);
    auto d8 = MakePatternDIB(7, 5, 8, 2);
    auto d32 = MakePatternDIB(4, 6, 32, 3);
    auto alpha = MakeAlphaDIB(7, 5, 4);
    std::vector<uint8_t> withAlpha = Storage(*d8);
    const std::vector<uint8_t> plane = Storage(*alpha);
    withAlpha.insert(withAlpha.end(), plane.begin(), plane.end());
    const std::vector<uint8_t> z32 = ZCompress(Storage(*d32));
    const std::vector<uint8_t> zAlpha = ZCompress(withAlpha);
    fileLayout.Records = {
        {NewRecordHeader(6, 0, 5, 3, 1, 2, 0), Storage(*d24)},
        {},
        {NewRecordHeader(3, 1, 7, 5, 0, 0, 0), withAlpha},
        {NewRecordHeader(7, 0, 4, 6, 3, 4, int32_t(z32.size())), z32},
        {NewRecordHeader(3, 1, 7, 5, 0, 0, int32_t(zAlpha.size())), zAlpha},
        {NewRecordHeader(9, 0, 5, 3, 0, 0, 0), {}},
        {NewRecordHeader(6, 0, 0, 3, 5, 5, 0), {}},
    };
    const std::string file = dir.File("n.Pak");
    WritePakBytes(file, BuildPakFile(fileLayout));
    auto pak = OpenPak(file, "secret");
    ASSERT_TRUE(pak);
    ASSERT_EQ(pak->ImageCount(), 7);

    EXPECT_EQ(StorageOf(pak->GetBitmap(0)), Storage(*d24));
    EXPECT_EQ(pak->Snapshot()->Record(2)->DataSize, 16 + 40 + 40);
    EXPECT_EQ(StorageOf(pak->GetBitmap(3)), Storage(*d32));
    EXPECT_TRUE(pak->Snapshot()->Record(3)->boCompression);

    for (int i : {2, 4}) {
        SCOPED_TRACE(i);
        int px = -1, py = -1;
        std::unique_ptr<TPicture> pic = pak->Get(i, px, py);
        ASSERT_TRUE(pic && pic->AsPng());
        const TPngPicture& png = *pic->AsPng();
        ASSERT_TRUE(png.HasAlpha());
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(png.AlphaScanline(y)[x], alpha->Pixel(x, y)) << x << "," << y;
        // Colours come from the palette indexes of the colour block.
        const TColor c = d8->PixelColor(2, 1);
        if (png.Channels() == 3) {
            EXPECT_EQ(png.Scanline(1)[6], RedOf(c));
            EXPECT_EQ(png.Scanline(1)[8], BlueOf(c));
        }
    }

    // An empty slot and an image without pixels give the blank picture; an unknown kind null.
    for (int i : {1, 6, 99}) {
        const TPicture* blank = pak->GetBitmap(i);
        ASSERT_NE(blank, nullptr) << i;
        EXPECT_EQ(blank->Width(), 1) << i;
        EXPECT_EQ(blank->Height(), 1) << i;
    }
    EXPECT_EQ(pak->GetBitmap(5), nullptr);
    EXPECT_EQ(pak->GetPoint(1), (TPoint{}));
    int px = 5, py = 5;
    auto outOfRange = pak->Get(-1, px, py);
    ASSERT_TRUE(outOfRange && outOfRange->AsDIB());
    EXPECT_EQ(outOfRange->Width(), 1);
    EXPECT_EQ(outOfRange->AsDIB()->BitCount(), 24);
    EXPECT_EQ(px, 0);
    EXPECT_EQ(py, 0);
    pak->Get(6, px, py);
    EXPECT_EQ(px, 0);

    const auto info = pak->GetImageInfo(3);
    ASSERT_TRUE(info);
    ASSERT_EQ(info->size(), 16u);
    EXPECT_EQ((*info)[0], 7);
    EXPECT_EQ(GetI32(&(*info)[12]), int32_t(z32.size()));
    EXPECT_FALSE(pak->GetImageInfo(1));
    // An open edit does not stop readers: they see the library as it is on disk.
    auto update = pak->BeginUpdate(0);
    EXPECT_TRUE(pak->GetImageInfo(3));
    EXPECT_EQ(pak->Get(0, px, py)->Width(), 5);
}

TEST(PakRead, OldLayoutPackingKinds) {
    TPakScratchDir dir("pak_old");
    for (int variant : {0, 1, 2}) {
        SCOPED_TRACE(variant);
        TPakTestFile fileLayout;
        fileLayout.Variant = variant;
        fileLayout.bfType = 0;
        fileLayout.BitCount = 24;
        fileLayout.CheckText = "K7PV4";
        // Width 3 at 24 bits: 9 bytes a row, stored as one run over the padded storage.
        auto dib = MakePatternDIB(3, 4, 24, 8);
        const std::vector<uint8_t> storage = Storage(*dib);
        const std::vector<uint8_t> run(storage.begin(), storage.begin() + 36);
        std::vector<uint8_t> expected(storage.size(), 0);
        std::copy(run.begin(), run.end(), expected.begin());
        const std::vector<uint8_t> rle = PackRunLength(run.data(), 3, 4, 3);
        fileLayout.Records = {
            {OldRecordHeader(1, 3, 4, 1, 1), rle},
            {OldRecordHeader(2, 3, 4, 2, 2), ZCompress(run)},
            {OldRecordHeader(0, 3, 4, 3, 3), run},
            {OldRecordHeader(3, 3, 4, -4, -4), run},
            {},
        };
        const std::string file = dir.File("old.Pak");
        WritePakBytes(file, BuildPakFile(fileLayout));
        auto pak = OpenPak(file, "secret");
        ASSERT_TRUE(pak);
        EXPECT_EQ(pak->bfType(), 0);
        ASSERT_EQ(pak->ImageCount(), 5);
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(StorageOf(pak->GetBitmap(i)), expected);
            EXPECT_EQ(pak->Snapshot()->Record(i)->HeaderSize, 12);
        }
        EXPECT_EQ(pak->GetPoint(3), (TPoint{-4, -4}));
        EXPECT_EQ(pak->GetBitmap(4)->Width(), 1);
        const auto info = pak->GetImageInfo(1);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->size(), 12u);
        EXPECT_EQ(GetI32(info->data()), 2);
    }
}

// Files that are damaged or built to mislead: none may crash or read out of bounds.
TEST(PakRead, DamagedFilesFailCleanly) {
    TPakScratchDir dir("pak_damaged");
    const std::string file = dir.File("d.Pak");
    auto dib = MakePatternDIB(8, 8, 16, 1);
    const std::vector<uint8_t> z = ZCompress(Storage(*dib));

    auto build = [&](auto patch) {
        TPakTestFile fileLayout;
        fileLayout.Records = {{NewRecordHeader(5, 0, 8, 8, 0, 0, 0), Storage(*dib)},
                              {NewRecordHeader(5, 0, 8, 8, 0, 0, int32_t(z.size())), z}};
        patch(fileLayout);
        return BuildPakFile(fileLayout);
    };
    auto headerOf = [](std::vector<uint8_t>& bytes, auto patch) {
        std::vector<uint8_t> h = test::DecryptPakHeader(bytes, 2);
        patch(h);
        const std::vector<uint8_t> e = EncryptText(h, HeaderKeyText(2));
        std::copy(e.begin(), e.end(), bytes.begin() + 13);
    };

    // An index count far beyond the file: opens without images.
    std::vector<uint8_t> bytes = build([](TPakTestFile&) {});
    headerOf(bytes, [](std::vector<uint8_t>& h) { PutU32(&h[46], 0x7FFFFFF0u); });
    WritePakBytes(file, bytes);
    auto pak = OpenPak(file, "secret");
    ASSERT_TRUE(pak);
    EXPECT_EQ(pak->ImageCount(), 0);

    // A check code length above 12 fails the password check.
    bytes = build([](TPakTestFile&) {});
    headerOf(bytes, [](std::vector<uint8_t>& h) { h[68] = 200; });
    WritePakBytes(file, bytes);
    EXPECT_FALSE(OpenPak(file, "secret"));

    // Data lengths and offsets past the end: empty slots.
    bytes = build([&](TPakTestFile& s) {
        s.Records[0].Header = NewRecordHeader(5, 0, 8, 8, 0, 0, 0x7FFFFFF0);
        s.Records[1].Header = NewRecordHeader(7, 1, 30000, 30000, 0, 0, 0);
    });
    WritePakBytes(file, bytes);
    pak = OpenPak(file, "secret");
    ASSERT_TRUE(pak);
    ASSERT_EQ(pak->ImageCount(), 2);
    EXPECT_FALSE(pak->Snapshot()->Record(0)->HasImage());
    EXPECT_FALSE(pak->Snapshot()->Record(1)->HasImage());
    EXPECT_EQ(pak->GetBitmap(1)->Width(), 1);

    // A compressed record claiming a huge picture, and a damaged stream: null, no exception.
    bytes = build([&](TPakTestFile& s) {
        s.Records[0].Header = NewRecordHeader(7, 1, 32767, 32767, 0, 0, int32_t(z.size()));
        s.Records[0].Payload = z;
        std::vector<uint8_t> bad = z;
        bad[3] ^= 0xFF;
        bad[4] ^= 0xFF;
        s.Records[1].Payload = bad;
    });
    WritePakBytes(file, bytes);
    pak = OpenPak(file, "secret");
    ASSERT_TRUE(pak);
    EXPECT_EQ(pak->GetBitmap(0), nullptr);
    EXPECT_EQ(pak->GetBitmap(1), nullptr);
    int px, py;
    EXPECT_EQ(pak->Get(1, px, py), nullptr);

    // Truncated files: in the header, in the index, in the last record.
    const std::vector<uint8_t> whole = build([](TPakTestFile&) {});
    for (size_t cut : {size_t(0), size_t(5), size_t(100), size_t(270), whole.size() - 1}) {
        SCOPED_TRACE(cut);
        WritePakBytes(file, std::vector<uint8_t>(whole.begin(), whole.begin() + long(cut)));
        auto p = OpenPak(file, "secret");
        if (cut < 269) {
            EXPECT_FALSE(p);
            continue;
        }
        ASSERT_TRUE(p);
        for (int i = 0; i < p->ImageCount(); ++i)
            p->GetBitmap(i);
    }

    // Old layout: run-length data that overruns the picture, lengths and offsets past the end.
    TPakTestFile old;
    old.bfType = 0;
    old.CheckText = "QUILLRAND";
    std::vector<uint8_t> overrun;
    for (int i = 0; i < 50; ++i) {
        overrun.push_back(0xFF);
        overrun.push_back(0x12);
        overrun.push_back(0x34);
    }
    overrun.push_back(0x7F);
    old.Records = {{OldRecordHeader(1, 4, 4, 0, 0), overrun},
                   {OldRecordHeader(1, 4, 4, 0, 0), {0x7F, 1}},
                   {OldRecordHeader(2, 4, 4, 0, 0), {0x78, 0x9C, 1, 2}},
                   {OldRecordHeader(0, 200, 200, 0, 0), {1, 2, 3}}};
    bytes = BuildPakFile(old);
    WritePakBytes(file, bytes);
    pak = OpenPak(file, "secret");
    ASSERT_TRUE(pak);
    auto* first = pak->GetBitmap(0);
    ASSERT_TRUE(first && first->AsDIB());
    EXPECT_EQ(first->AsDIB()->Pixel(3, 0), 0x3412u);
    EXPECT_NE(pak->GetBitmap(1), nullptr);
    EXPECT_EQ(pak->GetBitmap(2), nullptr);
    ASSERT_NE(pak->GetBitmap(3), nullptr);
    EXPECT_EQ(pak->GetBitmap(3)->Width(), 200);
}

TEST(PakRead, RandomCorruptionNeverCrashes) {
    TPakScratchDir dir("pak_fuzz");
    const std::string file = dir.File("f.Pak");
    TPakTestFile fileLayout;
    for (int i = 0; i < 6; ++i) {
        auto dib = MakePatternDIB(5 + i, 4, 16, uint32_t(i));
        std::vector<uint8_t> payload = Storage(*dib);
        if (i % 2) {
            payload = ZCompress(payload);
            fileLayout.Records.push_back(
                {NewRecordHeader(5, uint8_t(i % 3 == 0), 5 + i, 4, 0, 0, int32_t(payload.size())),
                 payload});
        } else {
            fileLayout.Records.push_back({NewRecordHeader(5, 0, 5 + i, 4, 0, 0, 0), payload});
        }
    }
    const std::vector<uint8_t> good = BuildPakFile(fileLayout);
    uint32_t state = 12345;
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> bytes = good;
        for (int k = 0; k < 1 + round % 6; ++k) {
            state = state * 1103515245u + 12345u;
            // Most flips land after the header, where they decrypt to nonsense offsets and sizes.
            const size_t at = 269 + (state >> 8) % (bytes.size() - 269);
            bytes[at] ^= uint8_t(1 + (state >> 3) % 255);
        }
        WritePakBytes(file, bytes);
        auto pak = OpenPak(file, "secret");
        ASSERT_TRUE(pak);
        for (int i = 0; i < pak->ImageCount(); ++i) {
            int px, py;
            pak->GetBitmap(i);
            pak->Get(i, px, py);
            pak->GetPoint(i);
        }
    }
}

// Large libraries read their record headers on several threads: each record gets its own.
TEST(PakRead, ManyRecordsEachKeepTheirHeader) {
    TPakScratchDir dir("pak_many");
    TPakTestFile fileLayout;
    fileLayout.BitCount = 32;
    const auto dib = MakePatternDIB(3, 2, 32, 1);
    const std::vector<uint8_t> payload = ZCompress(Storage(*dib));
    for (int i = 0; i < 5000; ++i)
        fileLayout.Records.push_back(
            {NewRecordHeader(7, 0, 3, 2, i % 900, -i / 900, int32_t(payload.size())), payload});
    const std::string file = dir.File("m.Pak");
    WritePakBytes(file, BuildPakFile(fileLayout));
    auto pak = OpenPak(file, "secret");
    ASSERT_TRUE(pak);
    ASSERT_EQ(pak->ImageCount(), 5000);
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(pak->GetPoint(i), (TPoint{i % 900, -i / 900})) << i;
}

TEST(PakRead, GetFromSeveralThreadsMatchesSequentialDecoding) {
    TPakScratchDir dir("pak_threads");
    TPakTestFile fileLayout;
    fileLayout.BitCount = 32;
    for (int i = 0; i < 40; ++i) {
        auto dib = MakePatternDIB(9 + i % 7, 6 + i % 5, 32, uint32_t(i));
        std::vector<uint8_t> payload = ZCompress(Storage(*dib));
        fileLayout.Records.push_back(
            {NewRecordHeader(7, 0, dib->Width(), dib->Height(), i, -i, int32_t(payload.size())),
             payload});
    }
    const std::string file = dir.File("t.Pak");
    WritePakBytes(file, BuildPakFile(fileLayout));
    auto pak = OpenPak(file, "secret");
    ASSERT_TRUE(pak);
    std::vector<std::vector<uint8_t>> expected;
    for (int i = 0; i < 40; ++i)
        expected.push_back(StorageOf(pak->GetBitmap(i)));

    std::atomic<int> mismatches{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t)
        workers.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round)
                for (int i = t; i < 40; i += 1) {
                    int px = 0, py = 0;
                    auto pic = pak->Get(i, px, py);
                    if (!pic || !pic->AsDIB() || Storage(*pic->AsDIB()) != expected[size_t(i)] ||
                        px != i || py != -i)
                        ++mismatches;
                }
        });
    for (int round = 0; round < 20; ++round)
        for (int i = 0; i < 40; ++i)
            if (StorageOf(pak->GetBitmap(i)) != expected[size_t(i)])
                ++mismatches;
    for (auto& w : workers)
        w.join();
    EXPECT_EQ(mismatches.load(), 0);
}

} // namespace
} // namespace velmora
