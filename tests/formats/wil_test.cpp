#include "formats/wil.h"

#include "core/checked.h"
#include "core/palette.h"
#include "formats/image_info.h"
#include "support/formats_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace velmora {
namespace {

using test::FileBytes;
using test::FileLength;
using test::PatternDIB;
using test::TFormatsTempDir;
using test::TWilTestRecord;
using test::WriteWilFiles;

std::vector<uint8_t> StorageOf(const TDIB& dib) {
    return {dib.PBits(), dib.PBits() + dib.Size()};
}

TWilTestRecord PatternRecord(int w, int h, int bits, uint32_t seed, int x = 0, int y = 0) {
    auto dib = PatternDIB(w, h, bits, seed);
    return {w, h, x, y, StorageOf(*dib)};
}

std::unique_ptr<TWil> Open(const std::string& name) {
    auto wil = std::make_unique<TWil>(name);
    wil->Initialize();
    return wil;
}

TEST(Wil, BothLayoutsReadPixelsAndOffsets) {
    TFormatsTempDir dir;
    for (bool longLayout : {false, true}) {
        SCOPED_TRACE(longLayout ? "long" : "short");
        const std::string name = dir / (longLayout ? "long.wil" : "short.wil");
        const auto a = PatternRecord(7, 3, 16, 1, -5, 12);
        const auto b = PatternRecord(20, 9, 16, 2, 300, -40);
        WriteWilFiles(name, ".WIX", longLayout, 65536, {a, b});
        auto wil = Open(name);
        ASSERT_TRUE(wil->Initialized());
        EXPECT_EQ(wil->btVersion(), longLayout ? 0 : 1);
        EXPECT_EQ(wil->FileHeaderSize(), longLayout ? 60 : 56);
        EXPECT_EQ(wil->IndexHeaderSize(), longLayout ? 52 : 48);
        EXPECT_EQ(wil->ImageHeaderSize(), longLayout ? 16 : 12);
        EXPECT_EQ(wil->BitCount(), 16);
        ASSERT_EQ(wil->ImageCount(), 2);
        int px = 0, py = 0;
        auto picture = wil->Get(1, px, py);
        ASSERT_TRUE(picture && picture->AsDIB());
        EXPECT_EQ(picture->Width(), 20);
        EXPECT_EQ(picture->Height(), 9);
        EXPECT_EQ(picture->AsDIB()->PixelFormat(), MakePixelFormat(5, 6, 5));
        EXPECT_EQ(StorageOf(*picture->AsDIB()), b.Payload);
        EXPECT_EQ(px, 300);
        EXPECT_EQ(py, -40);
        EXPECT_EQ(wil->GetPoint(0), (TPoint{-5, 12}));
        TPicture* shown = wil->GetBitmap(0);
        ASSERT_TRUE(shown && shown->AsDIB());
        EXPECT_EQ(StorageOf(*shown->AsDIB()), a.Payload);

        // A rewrite keeps the layout, the header bytes and every record byte for byte.
        const auto before = FileBytes(name);
        auto update = wil->BeginUpdate(-1);
        update.MarkChanged();
        update.EndUpdate();
        EXPECT_EQ(FileBytes(name), before);
    }
}

TEST(Wil, ColorCountSelectsTheBitCount) {
    TFormatsTempDir dir;
    const struct {
        uint32_t colorCount;
        int bits; // 0: does not open
    } cases[] = {{0, 8},           {256, 8},        {65536, 16}, {16777216, 24},
                 {0xFFFFFFFF, 32}, {0x00020000, 0}, {65535, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.colorCount);
        const std::string name = dir / ("c" + std::to_string(c.colorCount) + ".wil");
        const int bits = c.bits ? c.bits : 8;
        const auto record = PatternRecord(6, 4, bits, c.colorCount);
        WriteWilFiles(name, ".WIX", false, c.colorCount, {record});
        auto wil = Open(name);
        EXPECT_EQ(wil->Initialized(), c.bits != 0);
        if (c.bits == 0)
            continue;
        EXPECT_EQ(wil->BitCount(), c.bits);
        int px = 0, py = 0;
        auto picture = wil->Get(0, px, py);
        ASSERT_TRUE(picture && picture->AsDIB());
        EXPECT_EQ(picture->AsDIB()->BitCount(), c.bits);
        EXPECT_EQ(StorageOf(*picture->AsDIB()), record.Payload);
        if (c.bits == 8) {
            EXPECT_EQ(picture->AsDIB()->ColorTable(), DefaultPalette);
        }
    }
}

TEST(Wil, TinyImagesReadAsTheBlankPicture) {
    TFormatsTempDir dir;
    const std::string name = dir / "tiny.wil";
    const auto twoByTwo = PatternRecord(2, 2, 8, 3, 9, 9);
    const auto fiveByOne = PatternRecord(5, 1, 8, 4, 7, 8);
    WriteWilFiles(name, ".WIX", false, 256, {twoByTwo, fiveByOne});
    auto wil = Open(name);
    ASSERT_EQ(wil->ImageCount(), 2);
    int px = 111, py = 222;
    auto blank = wil->Get(0, px, py);
    ASSERT_TRUE(blank && blank->AsDIB());
    EXPECT_EQ(blank->Width(), 1);
    EXPECT_EQ(blank->Height(), 1);
    EXPECT_EQ(blank->AsDIB()->Pixel(0, 0), 0u);
    EXPECT_EQ(px, 111) << "a blank picture leaves the offset as it was";
    EXPECT_EQ(wil->GetPoint(0), (TPoint{0, 0}));
    auto normal = wil->Get(1, px, py);
    ASSERT_TRUE(normal && normal->AsDIB());
    EXPECT_EQ(normal->Width(), 5);
    EXPECT_EQ(StorageOf(*normal->AsDIB()), fiveByOne.Payload);
    EXPECT_EQ(px, 7);
}

TEST(Wil, EmptyLibraryGainsOnePictureWithExactFileSizes) {
    TFormatsTempDir dir;
    const std::string name = dir / "new.wil";
    {
        TWil creator(name);
        ASSERT_TRUE(creator.CreateFile(16, ""));
    }
    auto wil = Open(name);
    ASSERT_TRUE(wil->Initialized());
    EXPECT_EQ(wil->btVersion(), 1);
    EXPECT_EQ(wil->BitCount(), 16);
    EXPECT_EQ(wil->ImageCount(), 0);
    auto picture = PatternDIB(10, 10, 16, 5);
    auto update = wil->BeginUpdate(0);
    ASSERT_TRUE(update.Add(*picture, 3, -4, 0, nullptr));
    update.EndUpdate();
    EXPECT_EQ(FileLength(name), 1080 + 12 + 200);
    EXPECT_EQ(FileLength(dir / "new.WIX"), 48 + 4);

    const auto data = FileBytes(name);
    EXPECT_EQ(GetI32(data.data() + 44), 1);
    const auto index = FileBytes(dir / "new.WIX");
    EXPECT_EQ(GetI32(index.data() + 44), 1);
    EXPECT_EQ(GetI32(index.data() + 48), 1080);
    EXPECT_EQ(index[0], 25);

    wil.reset();
    auto reopened = Open(name);
    ASSERT_EQ(reopened->ImageCount(), 1);
    int px = 0, py = 0;
    auto back = reopened->Get(0, px, py);
    ASSERT_TRUE(back && back->AsDIB());
    EXPECT_EQ(StorageOf(*back->AsDIB()), StorageOf(*picture));
    EXPECT_EQ(px, 3);
    EXPECT_EQ(py, -4);
}

TEST(Wil, FillBlanksInPlaceAndDeleteRewritesBothFiles) {
    TFormatsTempDir dir;
    const std::string name = dir / "fill.wil";
    std::vector<TWilTestRecord> records;
    for (int i = 0; i < 5; ++i)
        records.push_back(PatternRecord(8 + i, 6, 24, 10 + i, i, -i));
    WriteWilFiles(name, ".WIX", true, 16777216, records);
    auto wil = Open(name);
    int notified = 0;
    ASSERT_TRUE(wil->Fill(3, 3, [&](TGameImages*) { ++notified; }));
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(wil->ImageCount(), 5);
    wil.reset();

    auto reopened = Open(name);
    ASSERT_EQ(reopened->ImageCount(), 5);
    int px = 0, py = 0;
    auto filled = reopened->Get(3, px, py);
    ASSERT_TRUE(filled);
    EXPECT_EQ(filled->Width(), 1);
    EXPECT_EQ(filled->Height(), 1);
    auto after = reopened->Get(4, px, py);
    ASSERT_TRUE(after && after->AsDIB());
    EXPECT_EQ(StorageOf(*after->AsDIB()), records[4].Payload);
    EXPECT_EQ(px, 4);

    ASSERT_TRUE(reopened->Delete(0, 1, nullptr));
    reopened.reset();
    auto shorter = Open(name);
    ASSERT_EQ(shorter->ImageCount(), 3);
    auto first = shorter->Get(0, px, py);
    ASSERT_TRUE(first && first->AsDIB());
    EXPECT_EQ(StorageOf(*first->AsDIB()), records[2].Payload);
    // 60 + 1024, records 2 and 4 with 16-byte headers, and the blank record: Fill wrote the blank
    // header over record 3, which keeps room for the blank picture's pixel row from then on.
    const int64_t record2 = 16 + int64_t(records[2].Payload.size());
    const int64_t record4 = 16 + int64_t(records[4].Payload.size());
    EXPECT_EQ(FileLength(name), 1084 + record2 + 16 + 4 + record4);
    EXPECT_EQ(FileLength(dir / "fill.WIX"), 52 + 3 * 4);
}

TEST(Wil, SetPointPatchesOnlyTheRecordHeader) {
    TFormatsTempDir dir;
    const std::string name = dir / "point.wil";
    WriteWilFiles(name, ".WIX", false, 256,
                  {PatternRecord(9, 9, 8, 20), PatternRecord(9, 9, 8, 21)});
    const auto before = FileBytes(name);
    auto wil = Open(name);
    wil->SetPoint(1, {-3, 70000});
    EXPECT_EQ(wil->GetPoint(1), (TPoint{-3, 70000 - 65536}));
    const auto after = FileBytes(name);
    ASSERT_EQ(after.size(), before.size());
    const size_t record1 = 1080 + 12 + 12 * 9;
    for (size_t i = 0; i < after.size(); ++i) {
        if (i >= record1 + 4 && i < record1 + 8)
            continue;
        ASSERT_EQ(after[i], before[i]) << "byte " << i;
    }
    EXPECT_EQ(GetI16(after.data() + record1 + 4), -3);
    EXPECT_EQ(GetI16(after.data() + record1 + 6), 4464);

    // A record whose stored position lies below 1080 is never patched.
    auto index = FileBytes(dir / "point.WIX");
    PutI32(index.data() + 48, 600);
    test::SetFileBytes(dir / "point.WIX", index);
    wil = Open(name);
    const auto unpatched = FileBytes(name);
    wil->SetPoint(0, {5, 5});
    EXPECT_EQ(FileBytes(name), unpatched);
}

TEST(Wil, IndexFileIsFoundWhateverTheCaseOfItsExtension) {
    TFormatsTempDir dir;
    const std::string name = dir / "lower.wil";
    WriteWilFiles(name, ".wix", false, 256, {PatternRecord(5, 5, 8, 30)});
    auto wil = Open(name);
    ASSERT_EQ(wil->ImageCount(), 1);
    auto picture = PatternDIB(6, 6, 8, 31);
    auto update = wil->BeginUpdate(1);
    ASSERT_TRUE(update.Add(*picture, 0, 0, 0, nullptr));
    update.EndUpdate();
    EXPECT_FALSE(FileExists(dir / "lower.WIX")) << "the existing index file is rewritten";
    EXPECT_EQ(FileLength(dir / "lower.wix"), 48 + 8);

    // Without any index file the library opens empty and refuses edits: a save would write an
    // index of the new images alone and lose every image the data file holds. The repair scans
    // the data file and writes name.WIX; then edits go through.
    const std::string bare = dir / "bare.wil";
    WriteWilFiles(bare, ".tmp", false, 256, {PatternRecord(5, 5, 8, 32)});
    auto lone = Open(bare);
    ASSERT_TRUE(lone->Initialized());
    EXPECT_EQ(lone->ImageCount(), 0);
    EXPECT_EQ(lone->HeaderImageCount(), 1);
    EXPECT_EQ(lone->IndexState(), TIndexState::isMissing);
    EXPECT_THROW(lone->BeginUpdate(0), EEditRefused);
    EXPECT_FALSE(FileExists(dir / "bare.WIX"));
    const TIndexRepair repair = lone->RepairIndex(false);
    EXPECT_EQ(repair.Found, 1);
    EXPECT_EQ(repair.UnreadBytes, 0);
    EXPECT_EQ(FileLength(dir / "bare.WIX"), 48 + 4);
    auto edit = lone->BeginUpdate(0);
    ASSERT_TRUE(edit.Add(*picture, 0, 0, 0, nullptr));
    edit.EndUpdate();
    EXPECT_EQ(Open(bare)->ImageCount(), 2);
}

TEST(Wil, PicturesOfAnotherBitCountAreConvertedOnACopy) {
    TFormatsTempDir dir;
    const std::string name = dir / "eight.wil";
    {
        TWil creator(name);
        ASSERT_TRUE(creator.CreateFile(8, ""));
    }
    auto wil = Open(name);
    auto truecolour = MakeLibraryBuffer(24, 5, 2);
    truecolour->SetPixel(0, 0, RGBColor(255, 0, 0));
    truecolour->SetPixel(1, 0, RGBColor(0, 0, 250));
    truecolour->SetPixel(2, 1, RGBColor(250, 250, 250));
    auto update = wil->BeginUpdate(0);
    ASSERT_TRUE(update.Add(*truecolour, 0, 0, 0, nullptr));
    update.EndUpdate();
    EXPECT_EQ(truecolour->BitCount(), 24) << "the caller's picture is left as it was";
    int px = 0, py = 0;
    auto back = wil->Get(0, px, py);
    ASSERT_TRUE(back && back->AsDIB());
    const TDIB& dib = *back->AsDIB();
    EXPECT_EQ(dib.BitCount(), 8);
    EXPECT_EQ(dib.Width(), 5);
    EXPECT_EQ(dib.Pixel(0, 0), NearestColorIndex(DefaultPalette, 255, 0, 0));
    EXPECT_EQ(dib.Pixel(1, 0), NearestColorIndex(DefaultPalette, 0, 0, 250));
    EXPECT_EQ(dib.Pixel(2, 1), NearestColorIndex(DefaultPalette, 250, 250, 250));
    EXPECT_EQ(dib.Pixel(4, 1), 0u);
}

TEST(Wil, DamagedFilesOpenWithWhatCanBeRead) {
    TFormatsTempDir dir;
    const std::string name = dir / "damaged.wil";
    const auto good = PatternRecord(10, 10, 32, 40);
    // A record that claims 32767 x 32767 pixels of 32 bits (4 GiB) in a file of a few KiB.
    TWilTestRecord huge{32767, 32767, 1, 1, std::vector<uint8_t>(64, 7)};
    WriteWilFiles(name, ".WIX", false, 0xFFFFFFFF, {good, huge});
    const std::string indexName = dir / "damaged.WIX";
    auto index = FileBytes(indexName);
    const int32_t hugeAt = GetI32(index.data() + 52);
    // The count claims far more positions than the file holds; the same huge record is named
    // thousands of times, and there are positions past the end and negative ones.
    PutI32(index.data() + 44, 0x7FFFFFFF);
    for (int i = 0; i < 5000; ++i) {
        uint8_t p[4];
        PutI32(p, i % 3 == 0 ? hugeAt : (i % 3 == 1 ? 1 << 30 : -8));
        index.insert(index.end(), p, p + 4);
    }
    test::SetFileBytes(indexName, index);
    auto wil = Open(name);
    ASSERT_TRUE(wil->Initialized());
    EXPECT_EQ(wil->ImageCount(), 5002);
    // Opening reads no record, whatever the damaged index claims; reading every header then
    // holds the headers alone.
    const TSnapshotPtr snapshot = wil->Snapshot();
    for (const auto& record : snapshot->Records())
        EXPECT_FALSE(record->HeaderRead());
    snapshot->ReadHeaders(0, snapshot->Count() - 1);
    for (const auto& record : snapshot->Records())
        EXPECT_LE(record->Loaded().Image.size(), 16u);
    int px = 0, py = 0;
    auto first = wil->Get(0, px, py);
    ASSERT_TRUE(first && first->AsDIB());
    EXPECT_EQ(StorageOf(*first->AsDIB()), good.Payload);
    for (int i : {1, 2, 3, 4}) {
        auto picture = wil->Get(i, px, py);
        ASSERT_TRUE(picture) << i;
        EXPECT_EQ(picture->Width(), 1) << i;
    }

    // A truncated last record reads as far as the file reaches; the rest is zero.
    const std::string cut = dir / "cut.wil";
    WriteWilFiles(cut, ".WIX", false, 256, {PatternRecord(16, 16, 8, 41)});
    auto bytes = FileBytes(cut);
    bytes.resize(bytes.size() - 100);
    test::SetFileBytes(cut, bytes);
    auto truncated = Open(cut);
    auto partial = truncated->Get(0, px, py);
    ASSERT_TRUE(partial && partial->AsDIB());
    const auto storage = StorageOf(*partial->AsDIB());
    EXPECT_TRUE(std::equal(storage.begin(), storage.begin() + 156, bytes.begin() + 1092));
    EXPECT_TRUE(
        std::all_of(storage.begin() + 156, storage.end(), [](uint8_t b) { return b == 0; }));

    // Files shorter than a header, and unknown colour counts, do not open.
    test::SetFileBytes(dir / "short.wil", std::vector<uint8_t>(40, 0));
    EXPECT_FALSE(Open(dir / "short.wil")->Initialized());
    EXPECT_FALSE(Open(dir / "missing.wil")->Initialized());
}

// Large libraries read their record headers on several threads: each record gets its own.
TEST(Wil, ManyRecordsEachKeepTheirHeader) {
    TFormatsTempDir dir;
    const std::string name = dir / "many.wil";
    std::vector<TWilTestRecord> records;
    for (int i = 0; i < 9000; ++i)
        records.push_back({3 + i % 3, 2, i % 1000, -(i / 1000), std::vector<uint8_t>(8, 1)});
    WriteWilFiles(name, ".WIX", false, 256, records);
    auto wil = Open(name);
    ASSERT_EQ(wil->ImageCount(), 9000);
    for (int i = 0; i < 9000; ++i) {
        ASSERT_EQ(wil->GetPoint(i), (TPoint{i % 1000, -(i / 1000)})) << i;
        ASSERT_EQ(wil->Describe(i, false)->Width, 3 + i % 3) << i;
    }
}

TEST(Wil, GetIsSafeFromSeveralThreadsWhileTheMainThreadDraws) {
    TFormatsTempDir dir;
    const std::string name = dir / "threads.wil";
    std::vector<TWilTestRecord> records;
    for (int i = 0; i < 40; ++i)
        records.push_back(PatternRecord(12 + i, 7, 16, 100 + i, i, 2 * i));
    WriteWilFiles(name, ".WIX", false, 65536, records);
    auto wil = Open(name);
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t)
        workers.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round)
                for (int i = t; i < 40; i += 2) {
                    int px = -1, py = -1;
                    auto picture = wil->Get(i, px, py);
                    if (!picture || !picture->AsDIB() ||
                        StorageOf(*picture->AsDIB()) != records[size_t(i)].Payload || px != i ||
                        py != 2 * i)
                        ++failures;
                }
        });
    for (int round = 0; round < 50; ++round)
        for (int i = 0; i < 40; ++i) {
            TPicture* shown = wil->GetBitmap(i);
            if (!shown || shown->Width() != 12 + i)
                ++failures;
        }
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(failures, 0);
}

} // namespace
} // namespace velmora
