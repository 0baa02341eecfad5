#include "formats/wzl.h"

#include "core/checked.h"
#include "core/palette.h"
#include "core/zlib_util.h"
#include "formats/alpha_plane.h"
#include "formats/wil.h"
#include "support/formats_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>

namespace velmora {
namespace {

using test::FileBytes;
using test::FileLength;
using test::PatternDIB;
using test::SetFileBytes;
using test::TFormatsTempDir;

std::vector<uint8_t> StorageOf(const TDIB& dib) {
    return {dib.PBits(), dib.PBits() + dib.Size()};
}

std::unique_ptr<TWzl> Open(const std::string& name) {
    auto wzl = std::make_unique<TWzl>(name);
    wzl->Initialize();
    return wzl;
}

// A new, empty library opened and ready for edits.
std::unique_ptr<TWzl> Create(const std::string& name) {
    {
        TWzl creator(name);
        EXPECT_TRUE(creator.CreateFile(0, ""));
    }
    auto wzl = Open(name);
    EXPECT_TRUE(wzl->Initialized());
    return wzl;
}

// A 32-bit picture whose colours are a gradient (it compresses well).
std::unique_ptr<TDIB> SmoothDIB(int w, int h, int bits) {
    auto dib = MakeLibraryBuffer(bits, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            dib->SetPixel(x, y, bits == 8 ? uint32_t(x % 4) : uint32_t((x & 0x1F) | (y << 5)));
    return dib;
}

std::unique_ptr<TDIB> AlphaRamp(int w, int h) {
    auto alpha = MakeLibraryBuffer(8, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            alpha->SetPixel(x, y, uint32_t((x * 37 + y * 11) & 0xFF));
    return alpha;
}

TEST(Wzl, NewLibraryHeadersCarryTheTitleAndSavesTheCount) {
    TFormatsTempDir dir;
    const std::string name = dir / "new.wzl";
    auto wzl = Create(name);
    const std::string title = WzlTitle;
    ASSERT_EQ(title.size(), 19u);
    for (const std::string& file : {name, dir / "new.wzx"}) {
        SCOPED_TRACE(file);
        const auto bytes = FileBytes(file);
        ASSERT_EQ(bytes.size(), file == name ? 64u : 48u);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 19), title);
        EXPECT_EQ(bytes[19], uint8_t(title.back()));
        EXPECT_TRUE(std::all_of(bytes.begin() + 20, bytes.end(), [](uint8_t b) { return b == 0; }));
    }
    auto update = wzl->BeginUpdate(0);
    ASSERT_TRUE(update.Add(*PatternDIB(5, 5, 16, 1), 0, 0, 0, nullptr));
    ASSERT_TRUE(update.Add(*PatternDIB(6, 5, 24, 2), 0, 0, 0, nullptr));
    update.EndUpdate();
    for (const std::string& file : {name, dir / "new.wzx"}) {
        const auto bytes = FileBytes(file);
        EXPECT_EQ(GetI32(bytes.data() + 44), 2) << file;
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 19), title) << file;
        EXPECT_EQ(bytes[19], uint8_t(title.back())) << file;
    }

    // A data header from elsewhere keeps its own bytes from 19 on; only 0 to 18 get the title.
    auto data = FileBytes(name);
    for (int i = 19; i < 44; ++i)
        data[size_t(i)] = uint8_t(i);
    PutI32(data.data() + 56, 77);
    SetFileBytes(name, data);
    wzl = Open(name);
    auto update2 = wzl->BeginUpdate(-1);
    update2.MarkChanged();
    update2.EndUpdate();
    const auto saved = FileBytes(name);
    EXPECT_EQ(std::string(saved.begin(), saved.begin() + 19), title);
    EXPECT_TRUE(std::equal(saved.begin() + 19, saved.begin() + 64, data.begin() + 19));
}

TEST(Wzl, EmptySlotsKeepTheirPlaceAcrossASave) {
    TFormatsTempDir dir;
    const std::string name = dir / "slots.wzl";
    auto wzl = Create(name);
    auto a = PatternDIB(7, 3, 16, 3);
    auto b = PatternDIB(9, 4, 32, 4);
    auto update = wzl->BeginUpdate(0);
    ASSERT_TRUE(update.Add(*a, 1, 2, 0, nullptr));
    ASSERT_TRUE(update.Add(*MakeLibraryBuffer(16, 2, 2), 0, 0, 0, nullptr)); // 2 x 2: empty slot
    ASSERT_TRUE(update.Add(*b, 3, 4, 0, nullptr));
    ASSERT_TRUE(update.Add(*MakeLibraryBuffer(8, 1, 5), 0, 0, 0, nullptr)); // 1 x 5: stored
    update.EndUpdate();
    auto index = FileBytes(dir / "slots.wzx");
    ASSERT_EQ(index.size(), 48u + 16);
    EXPECT_EQ(GetI32(index.data() + 48), 64);
    EXPECT_EQ(GetI32(index.data() + 52), 0);
    EXPECT_GT(GetI32(index.data() + 56), 64);
    EXPECT_GT(GetI32(index.data() + 60), GetI32(index.data() + 56));

    // Reopen, rewrite, reopen: the slot stays at 0 and the numbering is unchanged.
    wzl = Open(name);
    ASSERT_EQ(wzl->ImageCount(), 4);
    EXPECT_FALSE(wzl->GetImageInfo(1).has_value());
    auto update2 = wzl->BeginUpdate(-1);
    update2.MarkChanged();
    update2.EndUpdate();
    EXPECT_EQ(FileBytes(dir / "slots.wzx"), index);
    wzl = Open(name);
    int px = 0, py = 0;
    auto slot = wzl->Get(1, px, py);
    ASSERT_TRUE(slot);
    EXPECT_EQ(slot->Width(), 1);
    auto last = wzl->Get(2, px, py);
    ASSERT_TRUE(last && last->AsDIB());
    EXPECT_EQ(StorageOf(*last->AsDIB()), StorageOf(*b));
    EXPECT_EQ(px, 3);
    EXPECT_EQ(py, 4);
    auto thin = wzl->Get(3, px, py);
    ASSERT_TRUE(thin);
    EXPECT_EQ(thin->Height(), 5);
}

TEST(Wzl, CompressionIsKeptOnlyWhenItShrinks) {
    TFormatsTempDir dir;
    auto wzl = Create(dir / "zip.wzl");
    auto noise = PatternDIB(16, 16, 32, 5);
    auto smooth = SmoothDIB(64, 32, 16);
    auto update = wzl->BeginUpdate(0);
    ASSERT_TRUE(update.Add(*noise, 0, 0, 1, nullptr));
    ASSERT_TRUE(update.Add(*smooth, 0, 0, 1, nullptr));
    ASSERT_TRUE(update.Add(*smooth, 0, 0, 0, nullptr));
    update.EndUpdate();
    wzl = Open(dir / "zip.wzl");
    const auto raw = wzl->GetImageInfo(0);
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->nDataLength, 0);
    EXPECT_EQ(raw->btPixelKind, 7);
    EXPECT_FALSE(wzl->Snapshot()->Record(0)->boCompression);
    EXPECT_EQ(wzl->Snapshot()->Record(0)->DataSize, 16 + 16 * 16 * 4);
    const auto packed = wzl->GetImageInfo(1);
    ASSERT_TRUE(packed);
    EXPECT_EQ(packed->btPixelKind, 5);
    EXPECT_GT(packed->nDataLength, 0);
    EXPECT_LT(packed->nDataLength, 64 * 32 * 2);
    EXPECT_EQ(wzl->Snapshot()->Record(1)->DataSize, 16 + packed->nDataLength);
    EXPECT_EQ(wzl->GetImageInfo(2)->nDataLength, 0);
    int px = 0, py = 0;
    for (int i : {1, 2}) {
        auto back = wzl->Get(i, px, py);
        ASSERT_TRUE(back && back->AsDIB());
        EXPECT_EQ(StorageOf(*back->AsDIB()), StorageOf(*smooth)) << i;
        EXPECT_EQ(back->AsDIB()->PixelFormat(), MakePixelFormat(5, 6, 5));
    }
    auto back = wzl->Get(0, px, py);
    ASSERT_TRUE(back && back->AsDIB());
    EXPECT_EQ(StorageOf(*back->AsDIB()), StorageOf(*noise));
}

// The alpha expected back from a half-width plane: the encoder keeps a[2i] for even i and the
// mean of a[2i] and a[2i + 1] for odd i; the reader repeats even samples and averages odd ones.
std::vector<uint8_t> ExpectedHalfAlpha(const TDIB& alpha) {
    const int w = alpha.Width(), h = alpha.Height();
    std::vector<uint8_t> plane = EncodeHalfAlphaPlane(alpha);
    std::vector<uint8_t> out;
    const size_t half = size_t(w / 2);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t s = size_t(y) * half + size_t(x / 2);
            const int v0 = s < plane.size() ? plane[s] : 0;
            const int v1 = s + 1 < plane.size() ? plane[s + 1] : v0;
            out.push_back(uint8_t(x % 2 == 0 ? v0 : (v0 + v1) / 2));
        }
    return out;
}

TEST(Wzl, AlphaIsAlwaysCompressedAndReadsBackAsAPngPicture) {
    TFormatsTempDir dir;
    auto wzl = Create(dir / "alpha.wzl");
    // Widths that are multiples of 4, others, and width 2, for each pixel kind.
    const struct {
        int w, h, bits;
    } cases[] = {{8, 4, 32}, {7, 5, 24}, {10, 3, 16}, {2, 6, 32}, {13, 2, 8}, {6, 6, 16}};
    std::vector<std::unique_ptr<TDIB>> pictures, alphas;
    auto update = wzl->BeginUpdate(0);
    for (const auto& c : cases) {
        pictures.push_back(PatternDIB(c.w, c.h, c.bits, uint32_t(c.w * 100 + c.h)));
        alphas.push_back(AlphaRamp(c.w, c.h));
        ASSERT_TRUE(update.Add(*pictures.back(), 0, 0, 0, alphas.back().get()));
    }
    update.EndUpdate();
    wzl = Open(dir / "alpha.wzl");
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << " at " << c.bits);
        const auto info = wzl->GetImageInfo(int(i));
        ASSERT_TRUE(info);
        EXPECT_GT(info->nDataLength, 0);
        EXPECT_EQ(info->btAlpha, 0);
        int px = 0, py = 0;
        auto picture = wzl->Get(int(i), px, py);
        ASSERT_TRUE(picture);
        const TPngPicture* png = picture->AsPng();
        ASSERT_TRUE(png);
        ASSERT_TRUE(png->HasAlpha());
        ASSERT_EQ(png->Width(), c.w);
        const auto expected = ExpectedHalfAlpha(*alphas[i]);
        std::vector<uint8_t> got;
        for (int y = 0; y < c.h; ++y)
            got.insert(got.end(), png->AlphaScanline(y), png->AlphaScanline(y) + c.w);
        EXPECT_EQ(got, expected);
        // The colours survive where the plane shows them (fully transparent pixels are stored
        // black, as imports store them): compare with the picture drawn to 24 bits.
        TDIB colour(*pictures[i]);
        colour.SetBitCount(24);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                const TColor want = png->AlphaScanline(y)[x] == 0 ? 0 : colour.PixelColor(x, y);
                const uint8_t* rgb = png->Scanline(y) + 3 * x;
                ASSERT_EQ(rgb[0], RedOf(want)) << x << "," << y;
                ASSERT_EQ(rgb[1], GreenOf(want));
                ASSERT_EQ(rgb[2], BlueOf(want));
            }
    }
}

TEST(Wzl, AlphaPlaneLengthsSelectTheLayout) {
    // 6 x 3: full plane 18 bytes, half planes 9 bytes (both rules agree for this width).
    std::vector<uint8_t> full(18);
    for (size_t i = 0; i < full.size(); ++i)
        full[i] = uint8_t(10 * i);
    auto fullAlpha = DecodeAlphaPlane(full, 6, 3);
    ASSERT_TRUE(fullAlpha);
    // Laid out like an 8-bit buffer's storage (bottom row first, rows padded to 8 bytes).
    EXPECT_EQ(fullAlpha->PBits()[0], 0);
    EXPECT_EQ(fullAlpha->PBits()[9], 90);
    EXPECT_EQ(fullAlpha->Pixel(1, 2), 10u);

    const std::vector<uint8_t> half{10, 20, 30, 40, 50, 60, 70, 80, 90};
    auto halfAlpha = DecodeAlphaPlane(half, 6, 3);
    ASSERT_TRUE(halfAlpha);
    EXPECT_EQ(halfAlpha->Pixel(0, 0), 10u);
    EXPECT_EQ(halfAlpha->Pixel(1, 0), 15u);
    EXPECT_EQ(halfAlpha->Pixel(2, 1), 50u);
    EXPECT_EQ(halfAlpha->Pixel(5, 2), 90u) << "the sample past the end counts as the last";

    // 7 x 5: (7 x 5) div 2 = 17 and (5 x 8) div 2 = 20 are both half planes; 19 is nothing.
    EXPECT_TRUE(DecodeAlphaPlane(std::vector<uint8_t>(17, 1), 7, 5));
    EXPECT_TRUE(DecodeAlphaPlane(std::vector<uint8_t>(20, 1), 7, 5));
    EXPECT_FALSE(DecodeAlphaPlane(std::vector<uint8_t>(19, 1), 7, 5));
    EXPECT_FALSE(DecodeAlphaPlane({}, 7, 5));
    // Width 2 writes (width x height) div 2 so that the plane is not taken for a full one.
    EXPECT_EQ(HalfAlphaPlaneSize(2, 6), 6u);
    EXPECT_EQ(HalfAlphaPlaneSize(7, 5), 20u);
}

TEST(Wzl, ConvertTakesWilPixelsUnchanged) {
    TFormatsTempDir dir;
    std::vector<test::TWilTestRecord> records;
    auto smooth = SmoothDIB(40, 20, 16);
    auto noise = PatternDIB(9, 7, 16, 6);
    records.push_back({40, 20, 5, -6, StorageOf(*smooth)});
    records.push_back({2, 2, 0, 0, std::vector<uint8_t>(8, 1)});
    records.push_back({9, 7, -1, 1, StorageOf(*noise)});
    test::WriteWilFiles(dir / "src.wil", ".WIX", false, 65536, records);
    TWil wil(dir / "src.wil");
    wil.Initialize();
    ASSERT_EQ(wil.ImageHeaderSize(), 12);
    auto wzl = Create(dir / "dst.wzl");
    auto update = wzl->BeginUpdate(0);
    for (const auto& record : wil.Snapshot()->Records())
        update.Convert(record.get(), *wil.Snapshot(), 1);
    update.Convert(nullptr, *wil.Snapshot(), 1);
    update.EndUpdate();

    wzl = Open(dir / "dst.wzl");
    ASSERT_EQ(wzl->ImageCount(), 4);
    const auto packed = wzl->GetImageInfo(0);
    ASSERT_TRUE(packed);
    EXPECT_EQ(packed->btPixelKind, 5);
    EXPECT_EQ(packed->wPx, 5);
    EXPECT_EQ(packed->wPy, -6);
    EXPECT_EQ(wzl->Snapshot()->Record(0)->DataSize, 16 + packed->nDataLength);
    const TPayload stored(*wzl->Snapshot()->Record(0));
    const auto inflated = ZDecompress(stored.Bytes().first(size_t(packed->nDataLength)), 1 << 20);
    EXPECT_EQ(inflated, records[0].Payload);
    EXPECT_FALSE(wzl->GetImageInfo(1)) << "a blank WIL record becomes an empty slot";
    EXPECT_EQ(wzl->GetImageInfo(2)->nDataLength, 0) << "noise does not shrink and stays raw";
    EXPECT_FALSE(wzl->GetImageInfo(3));
    int px = 0, py = 0;
    auto back = wzl->Get(2, px, py);
    ASSERT_TRUE(back && back->AsDIB());
    EXPECT_EQ(StorageOf(*back->AsDIB()), records[2].Payload);
    EXPECT_EQ(px, -1);
}

TEST(Wzl, SetPointChangesOnlyTheRecordHeader) {
    TFormatsTempDir dir;
    const std::string name = dir / "point.wzl";
    auto wzl = Create(name);
    auto update = wzl->BeginUpdate(0);
    ASSERT_TRUE(update.Add(*PatternDIB(6, 6, 24, 7), 10, 10, 0, nullptr));
    update.EndUpdate();
    const auto before = FileBytes(name);
    wzl->SetPoint(0, {-3, 70000});
    const auto after = FileBytes(name);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(GetU16(after.data() + 64 + 8), 0xFFFD);
    EXPECT_EQ(GetU16(after.data() + 64 + 10), 4464);
    for (size_t i = 0; i < after.size(); ++i)
        if (i < 72 || i >= 76) {
            ASSERT_EQ(after[i], before[i]) << i;
        }
    EXPECT_EQ(wzl->GetPoint(0), (TPoint{-3, 4464}));
    EXPECT_EQ(Open(name)->GetPoint(0), (TPoint{-3, 4464}));
}

TEST(Wzl, ReadersSeeWhatIsOnDiskWhileAnEditIsOpen) {
    TFormatsTempDir dir;
    auto wzl = Create(dir / "update.wzl");
    auto update = wzl->BeginUpdate(0);
    ASSERT_TRUE(update.Add(*PatternDIB(6, 6, 24, 8), 0, 0, 0, nullptr));
    update.EndUpdate();
    auto update2 = wzl->BeginUpdate(0);
    ASSERT_TRUE(update2.Add(*PatternDIB(7, 7, 24, 9), 0, 0, 0, nullptr));
    int px = 0, py = 0;
    EXPECT_EQ(wzl->ImageCount(), 1);
    EXPECT_TRUE(wzl->GetBitmap(0));
    EXPECT_TRUE(wzl->Get(0, px, py));
    EXPECT_FALSE(wzl->GetImageInfo(1));
    update2.EndUpdate();
    EXPECT_EQ(wzl->ImageCount(), 2);
    EXPECT_EQ(wzl->GetBitmap(1)->Width(), 7);
}

TEST(Wzl, DamagedRecordsDecodeToNullOrBlankWithoutThrowing) {
    TFormatsTempDir dir;
    const std::string name = dir / "damaged.wzl";
    auto wzl = Create(name);
    auto update = wzl->BeginUpdate(0);
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(update.Add(*SmoothDIB(32, 16, 32), 0, 0, 1, nullptr));
    update.EndUpdate();
    wzl.reset();
    auto data = FileBytes(name);
    auto index = FileBytes(dir / "damaged.wzx");
    auto recordAt = [&](int i) { return size_t(GetI32(index.data() + 48 + 4 * i)); };
    // 0: the zlib stream is garbage; 1: an unknown pixel kind; 2: a data length of 2 GiB;
    // 3: a header that claims 32767 x 32767 pixels for a tiny stream; 4: an offset past the end.
    std::memset(data.data() + recordAt(0) + 16, 0xAB, 8);
    data[recordAt(1)] = 9;
    PutI32(data.data() + recordAt(2) + 12, 0x7FFFFFF0);
    PutI16(data.data() + recordAt(3) + 4, 32767);
    PutI16(data.data() + recordAt(3) + 6, 32767);
    PutI32(index.data() + 48 + 16, 1 << 30);
    PutI32(index.data() + 44, 1000000); // more offsets claimed than the file holds
    SetFileBytes(name, data);
    SetFileBytes(dir / "damaged.wzx", index);

    wzl = Open(name);
    ASSERT_TRUE(wzl->Initialized());
    ASSERT_EQ(wzl->ImageCount(), 6);
    int px = 0, py = 0;
    EXPECT_NO_THROW(EXPECT_FALSE(wzl->Get(0, px, py)));
    EXPECT_NO_THROW(EXPECT_FALSE(wzl->GetBitmap(0)));
    EXPECT_FALSE(wzl->Get(1, px, py));
    auto slot = wzl->Get(2, px, py);
    ASSERT_TRUE(slot);
    EXPECT_EQ(slot->Width(), 1) << "an unloadable record is an empty slot";
    EXPECT_FALSE(wzl->Get(3, px, py));
    auto beyond = wzl->Get(4, px, py);
    ASSERT_TRUE(beyond);
    EXPECT_EQ(beyond->Width(), 1);
    auto intact = wzl->Get(5, px, py);
    ASSERT_TRUE(intact && intact->AsDIB());
    EXPECT_EQ(StorageOf(*intact->AsDIB()), StorageOf(*SmoothDIB(32, 16, 32)));

    // A truncated stream at the end of the file.
    data.resize(recordAt(5) + 30);
    SetFileBytes(name, data);
    wzl = Open(name);
    EXPECT_NO_THROW(EXPECT_FALSE(wzl->Get(5, px, py)));

    // Shorter than its header: does not open.
    SetFileBytes(name, std::vector<uint8_t>(20, 0));
    EXPECT_FALSE(Open(name)->Initialized());
}

TEST(Wzl, IndexFileIsFoundWhateverTheCaseOfItsExtension) {
    TFormatsTempDir dir;
    auto wzl = Create(dir / "b.wzl");
    auto update = wzl->BeginUpdate(0);
    ASSERT_TRUE(update.Add(*PatternDIB(6, 6, 24, 9), 0, 0, 0, nullptr));
    update.EndUpdate();
    wzl.reset();
    std::filesystem::rename(dir / "b.wzx", dir / "b.WZX");
    wzl = Open(dir / "b.wzl");
    EXPECT_EQ(wzl->ImageCount(), 1);
    auto update2 = wzl->BeginUpdate(-1);
    update2.MarkChanged();
    update2.EndUpdate();
    EXPECT_FALSE(FileExists(dir / "b.wzx"));

    // Without an index file the list is empty and edits are refused until a repair has found
    // the record in the data file and written name.wzx.
    std::filesystem::remove(dir / "b.WZX");
    wzl = Open(dir / "b.wzl");
    EXPECT_EQ(wzl->ImageCount(), 0);
    EXPECT_EQ(wzl->EditRefusal(), TEditRefusal::erIndexMissing);
    EXPECT_EQ(wzl->RepairIndex(false).Found, 1);
    EXPECT_EQ(FileLength(dir / "b.wzx"), 48 + 4);
    EXPECT_EQ(wzl->ImageCount(), 1);
}

TEST(Wzl, GetIsSafeFromSeveralThreadsWhileTheMainThreadDraws) {
    TFormatsTempDir dir;
    auto wzl = Create(dir / "threads.wzl");
    std::vector<std::unique_ptr<TDIB>> pictures;
    auto update = wzl->BeginUpdate(0);
    for (int i = 0; i < 24; ++i) {
        pictures.push_back(SmoothDIB(20 + i, 10, i % 2 ? 16 : 32));
        auto alpha = AlphaRamp(20 + i, 10);
        ASSERT_TRUE(update.Add(*pictures.back(), i, -i, 1, i % 3 == 0 ? alpha.get() : nullptr));
    }
    update.EndUpdate();
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t)
        workers.emplace_back([&, t] {
            for (int round = 0; round < 10; ++round)
                for (int i = t % 2; i < 24; i += 2) {
                    int px = 0, py = 0;
                    auto picture = wzl->Get(i, px, py);
                    const bool ok =
                        picture && px == i && py == -i &&
                        (i % 3 == 0 ? picture->AsPng() != nullptr
                                    : picture->AsDIB() && StorageOf(*picture->AsDIB()) ==
                                                              StorageOf(*pictures[size_t(i)]));
                    if (!ok)
                        ++failures;
                }
        });
    for (int round = 0; round < 20; ++round)
        for (int i = 0; i < 24; ++i) {
            TPicture* shown = wzl->GetBitmap(i);
            if (!shown || shown->Width() != 20 + i)
                ++failures;
        }
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(failures, 0);
}

} // namespace
} // namespace velmora
