#include "formats/wis.h"

#include "core/checked.h"
#include "core/palette.h"
#include "formats/image_info.h"
#include "support/formats_support.h"
#include "tools/wis_writer/wis_writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace velmora {
namespace {

using test::FileBytes;
using test::SetFileBytes;
using test::TFormatsTempDir;

std::unique_ptr<TWis> Open(const std::string& name) {
    auto wis = std::make_unique<TWis>(name);
    wis->Initialize();
    return wis;
}

std::vector<uint8_t> Pixels(int w, int h, uint32_t seed) {
    std::vector<uint8_t> pixels(size_t(w) * size_t(h));
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t(1 + (i * 7 + seed) % 200);
    return pixels;
}

// Checks a picture against the rows of w x h pixels it was written from (top row first).
void ExpectPicture(const TPicture* picture, int w, int h, const std::vector<uint8_t>& pixels) {
    ASSERT_TRUE(picture);
    const TDIB* dib = picture->AsDIB();
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib->BitCount(), 8);
    EXPECT_EQ(dib->ColorTable(), DefaultPalette);
    ASSERT_EQ(dib->Width(), int(RowBytes(w, 8)));
    ASSERT_EQ(dib->Height(), h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < dib->Width(); ++x) {
            const uint32_t want = x < w ? pixels[size_t(y) * size_t(w) + size_t(x)] : 0;
            ASSERT_EQ(dib->Pixel(x, y), want) << x << "," << y;
        }
}

TEST(Wis, RunLengthControlBytes) {
    const auto decode = [](std::vector<uint8_t> source, size_t target) {
        std::vector<uint8_t> out(target, 0xEE);
        out.resize(DecodeRLE(source, out));
        return out;
    };
    EXPECT_EQ(decode({0x03, 0x41, 0x00, 0x02, 0x42, 0x43}, 5),
              (std::vector<uint8_t>{0x41, 0x41, 0x41, 0x42, 0x43}));
    EXPECT_TRUE(decode({0x00, 0x00}, 5).empty());
    EXPECT_EQ(decode({0x00, 0x00, 0x02, 0x09}, 5), (std::vector<uint8_t>{9, 9}));
    // Runs and literal blocks that pass the end of the target are cut there.
    EXPECT_EQ(decode({0xFF, 0x07}, 3), (std::vector<uint8_t>{7, 7, 7}));
    EXPECT_EQ(decode({0x00, 0x04, 1, 2, 3, 4}, 2), (std::vector<uint8_t>{1, 2}));
    // Literal counts and runs that pass the end of the source stop there.
    EXPECT_EQ(decode({0x00, 0x09, 1, 2}, 8), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(decode({0x02, 0x05, 0x04}, 8), (std::vector<uint8_t>{5, 5}));
    EXPECT_EQ(decode({0x00}, 8), std::vector<uint8_t>{});
}

TEST(Wis, TableIsScannedFromTheEndOfTheFile) {
    TFormatsTempDir dir;
    TWisWriter writer;
    const auto a = Pixels(20, 19, 1); // 12 + 380 bytes: the next record starts at 904
    const auto b = Pixels(16, 30, 2);
    const auto c = Pixels(9, 4, 3);
    writer.AddImage(20, 19, 1, 2, a, false);
    writer.AddImage(16, 30, -3, 4, b, true);
    writer.AddImage(9, 4, 5, -6, c, false);
    writer.Save(dir / "three.wis");
    auto wis = Open(dir / "three.wis");
    ASSERT_TRUE(wis->Initialized());
    ASSERT_EQ(wis->ImageCount(), 3);
    EXPECT_EQ(wis->IndexList()[0].OffSet, 512);
    EXPECT_EQ(wis->IndexOffset(), int64_t(FileBytes(dir / "three.wis").size()) - 36);
    int px = 0, py = 0;
    auto first = wis->Get(0, px, py);
    ExpectPicture(first.get(), 20, 19, a);
    EXPECT_EQ(px, 1);
    EXPECT_EQ(py, 2);
    ExpectPicture(wis->GetBitmap(1), 16, 30, b);
    EXPECT_EQ(wis->GetPoint(1), (TPoint{-3, 4}));
    auto third = wis->Get(2, px, py);
    ExpectPicture(third.get(), 9, 4, c);
    EXPECT_EQ(px, 5);

    // A zero-length entry in the middle ends the scan: only the entries after it remain.
    auto table = writer.Entries();
    table[1].Length = 0;
    writer.Save(dir / "gap.wis", table);
    wis = Open(dir / "gap.wis");
    ASSERT_EQ(wis->ImageCount(), 1);
    auto only = wis->Get(0, px, py);
    ExpectPicture(only.get(), 9, 4, c);

    // A file of 512 bytes or less holds no images but opens.
    SetFileBytes(dir / "small.wis", std::vector<uint8_t>(512, 0xFF));
    wis = Open(dir / "small.wis");
    EXPECT_TRUE(wis->Initialized());
    EXPECT_EQ(wis->ImageCount(), 0);
    EXPECT_FALSE(wis->GetBitmap(0));
}

TEST(Wis, WidthIsRoundedUpToAMultipleOfFour) {
    TFormatsTempDir dir;
    TWisWriter writer;
    const auto raw = Pixels(37, 10, 4);
    writer.AddImage(37, 10, 0, 0, raw, false);
    writer.AddImage(37, 10, 0, 0, raw, true);
    writer.Save(dir / "odd.wis");
    auto wis = Open(dir / "odd.wis");
    int px = 0, py = 0;
    for (int i : {0, 1}) {
        auto picture = wis->Get(i, px, py);
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->Width(), 40);
        EXPECT_EQ(picture->Height(), 10);
        ExpectPicture(picture.get(), 37, 10, raw);
    }
}

TEST(Wis, SetPointWritesTheLowSixteenBitsInPlace) {
    TFormatsTempDir dir;
    TWisWriter writer;
    writer.AddImage(8, 8, 1, 1, Pixels(8, 8, 5), false);
    writer.AddImage(8, 8, 2, 2, Pixels(8, 8, 6), false);
    writer.Save(dir / "point.wis");
    const auto before = FileBytes(dir / "point.wis");
    auto wis = Open(dir / "point.wis");
    wis->SetPoint(1, {-5, 70000});
    EXPECT_EQ(wis->GetPoint(1), (TPoint{-5, 4464}));
    const auto after = FileBytes(dir / "point.wis");
    const size_t header = size_t(writer.Entries()[1].OffSet);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        if (i >= header + 8 && i < header + 12)
            continue;
        ASSERT_EQ(after[i], before[i]) << i;
    }
    EXPECT_EQ(GetI16(after.data() + header + 8), -5);
    // The library cannot be edited or created.
    auto picture = MakeLibraryBuffer(8, 8, 8);
    EXPECT_EQ(wis->EditRefusal(), TEditRefusal::erReadOnlyFormat);
    EXPECT_THROW(wis->BeginUpdate(0), EEditRefused);
    EXPECT_EQ(FileBytes(dir / "point.wis"), after);
    TWis fresh(dir / "fresh.wis");
    EXPECT_FALSE(fresh.CreateFile(8, ""));
    EXPECT_FALSE(FileExists(dir / "fresh.wis"));
}

// A file cut short has lost its table: the images that are whole are found by reading the records
// from the head on, the library says it is cut short and takes no offset. Cut inside the table,
// inside the last record, and right after the head.
TEST(Wis, AFileCutShortShowsItsWholeImages) {
    TFormatsTempDir dir;
    TWisWriter writer;
    const std::vector<std::pair<int, int>> sizes{{9, 7}, {16, 5}, {3, 11}, {20, 20}};
    std::vector<std::vector<uint8_t>> pixels;
    for (size_t i = 0; i < sizes.size(); ++i) {
        pixels.push_back(Pixels(sizes[i].first, sizes[i].second, uint32_t(i)));
        // Runs make the run-length records much shorter than their pictures.
        if (i == 3)
            std::fill(pixels[i].begin(), pixels[i].begin() + 300, uint8_t(5));
        writer.AddImage(sizes[i].first, sizes[i].second, int(i), -int(i), pixels[i], i % 2 == 1);
    }
    const std::vector<uint8_t> whole = writer.Bytes();
    const size_t tableAt = whole.size() - 12 * sizes.size();
    const size_t lastAt = size_t(writer.Entries().back().OffSet);
    for (const auto& [cut, images] : std::vector<std::pair<size_t, int>>{
             {tableAt + 5, 4}, {tableAt, 4}, {lastAt + 20, 3}, {lastAt, 3}, {513, 0}}) {
        SCOPED_TRACE(cut);
        const std::string name = dir / "cut.wis";
        SetFileBytes(name, std::vector<uint8_t>(whole.begin(), whole.begin() + long(cut)));
        auto wis = Open(name);
        ASSERT_TRUE(wis->Initialized());
        EXPECT_EQ(wis->ImageCount(), images);
        EXPECT_NE(wis->DamageText(), "");
        EXPECT_EQ(wis->EditRefusal(true), TEditRefusal::erFileCutShort);
        for (int i = 0; i < images; ++i) {
            int x = 0, y = 0;
            const std::unique_ptr<TPicture> picture = wis->Get(i, x, y);
            ExpectPicture(picture.get(), sizes[size_t(i)].first, sizes[size_t(i)].second,
                          pixels[size_t(i)]);
            EXPECT_EQ((TPoint{x, y}), (TPoint{i, -i}));
        }
    }
    SetFileBytes(dir / "whole.wis", whole);
    EXPECT_EQ(Open(dir / "whole.wis")->DamageText(), "");
}

TEST(Wis, DamagedRecordsReadAsNullOrShort) {
    TFormatsTempDir dir;
    TWisWriter writer;
    const auto good = Pixels(10, 10, 7);
    writer.AddImage(10, 10, 0, 0, good, false);
    // Raw payload shorter than the picture: the missing pixels are black.
    writer.AddRecord(0, 10, 10, 0, 0, std::vector<uint8_t>(35, 9));
    // Run-length data that overruns the picture.
    writer.AddRecord(1, 4, 2, 0, 0, std::vector<uint8_t>{0xFF, 3, 0x00, 0xFF, 1, 2});
    // A header that claims 32767 x 32767 pixels for four bytes of payload.
    writer.AddRecord(0, 32767, 32767, 0, 0, std::vector<uint8_t>(4, 1));
    auto table = writer.Entries();
    // A length that runs past the end of the file, and a position past it.
    table.push_back({table[1].OffSet, 1 << 30, 0});
    table.push_back({1 << 30, 10, 0});
    writer.Save(dir / "damaged.wis", table);
    auto wis = Open(dir / "damaged.wis");
    ASSERT_EQ(wis->ImageCount(), 6);
    int px = 0, py = 0;
    ExpectPicture(wis->Get(0, px, py).get(), 10, 10, good);
    std::vector<uint8_t> partial(100, 0);
    std::fill(partial.begin(), partial.begin() + 35, 9);
    ExpectPicture(wis->Get(1, px, py).get(), 10, 10, partial);
    ExpectPicture(wis->Get(2, px, py).get(), 4, 2, {3, 3, 3, 3, 3, 3, 3, 3});
    EXPECT_FALSE(wis->Get(3, px, py));
    EXPECT_FALSE(wis->Get(4, px, py));
    EXPECT_FALSE(wis->GetBitmap(5));
    EXPECT_EQ(wis->GetPoint(5), (TPoint{0, 0}));
    wis->SetPoint(5, {1, 1});
    EXPECT_EQ(FileBytes(dir / "damaged.wis"), writer.Bytes(table)) << "nothing is written";
}

TEST(Wis, GetIsSafeFromSeveralThreadsWhileTheMainThreadReads) {
    TFormatsTempDir dir;
    TWisWriter writer;
    std::vector<std::vector<uint8_t>> images;
    for (int i = 0; i < 30; ++i) {
        images.push_back(Pixels(10 + i, 6, uint32_t(i)));
        writer.AddImage(10 + i, 6, i, -i, images.back(), i % 2 == 0);
    }
    writer.Save(dir / "threads.wis");
    auto wis = Open(dir / "threads.wis");
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t)
        workers.emplace_back([&, t] {
            for (int round = 0; round < 10; ++round)
                for (int i = t; i < 30; i += 3) {
                    int px = 0, py = 0;
                    auto picture = wis->Get(i, px, py);
                    const TDIB* dib = picture ? picture->AsDIB() : nullptr;
                    if (!dib || px != i || py != -i || dib->Height() != 6 ||
                        dib->Pixel(9, 5) != images[size_t(i)][size_t(5 * (10 + i) + 9)])
                        ++failures;
                }
        });
    for (int round = 0; round < 20; ++round)
        for (int i = 0; i < 30; ++i) {
            TPicture* shown = wis->GetBitmap(i);
            if (!shown || shown->Width() != int(RowBytes(10 + i, 8)) ||
                wis->GetPoint(i) != TPoint{i, -i})
                ++failures;
        }
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(failures, 0);
}

} // namespace
} // namespace velmora
