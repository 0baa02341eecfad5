#include "core/game_images.h"

#include "core/checked.h"
#include "core/palette.h"
#include "core/png_picture.h"
#include "support/core_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace velmora {
namespace {

using core_test::ReadFileBytes;
using core_test::TCoreTempDir;
using core_test::WriteFileBytes;

// How the test library's records decode: width, height, X, Y (4 bytes each) and then the 24-bit
// buffer's storage.
class TTestState : public TFormatState {
public:
    using TFormatState::TFormatState;
    std::unique_ptr<TPicture> Get(const TImageData* Record, int& px, int& py) const override {
        const TPoint point = PointOf(Record);
        px = point.X;
        py = point.Y;
        return Record ? Decode(*Record) : nullptr;
    }
    TPoint PointOf(const TImageData* Record) const override {
        if (!Record || !Record->HasImage())
            return {};
        return {GetI32(Record->Image.data() + 8), GetI32(Record->Image.data() + 12)};
    }
    std::optional<TImageDescription> Describe(const TImageData&, bool) const override {
        return TImageDescription{};
    }
    std::unique_ptr<TDIB> Decode(const TImageData& record) const {
        if (!record.HasImage())
            return FillDIB();
        auto dib = std::make_unique<TDIB>();
        dib->SetSize(GetI32(record.Image.data()), GetI32(record.Image.data() + 4), 24);
        std::memcpy(dib->PBits(), record.Image.data() + 16, size_t(dib->Size()));
        return dib;
    }
};

// A small library whose records are held in memory (see TTestState). Pictures 13 pixels wide
// cannot be encoded. Its data file exists only so that an edit can lock it; a save counts itself
// and can be made to fail like a full disk.
class TTestImages : public TGameImages {
public:
    explicit TTestImages(const TCoreTempDir& dir, TImageType type = t_Wil)
        : TGameImages(dir.File("test.lib"), type) {
        WriteFileBytes(FFileName, {1, 2, 3});
        m_FileStream = std::make_shared<TFileStream>(FFileName, TFileStream::fmOpenReadWrite);
        FInitialized = true;
        SetState(std::make_shared<TTestState>(type, FBitCount));
        SetRecords({});
    }
    ~TTestImages() override { TTestImages::Finalize(); }

    std::unique_ptr<TImageData> EncodeImage(TDIB& ASource, int X, int Y, uint8_t,
                                            const TDIB*) override {
        if (ASource.Width() == 13)
            return nullptr;
        auto record = std::make_unique<TImageData>();
        record->HeaderSize = 16;
        record->Image.resize(16 + size_t(ASource.Size()));
        PutI32(record->Image.data(), ASource.Width());
        PutI32(record->Image.data() + 4, ASource.Height());
        PutI32(record->Image.data() + 8, X);
        PutI32(record->Image.data() + 12, Y);
        if (ASource.Size())
            std::memcpy(record->Image.data() + 16, ASource.PBits(), size_t(ASource.Size()));
        record->DataSize = int32_t(record->Image.size());
        return record;
    }

    void SetBits(int bits) { FBitCount = bits; }
    // Another program's save: the next edit reads the library again first.
    void TouchOnDisk() { WriteFileBytes(FFileName, {4, 5, 6, 7}); }

    int Rewrites = 0;
    int Reloads = 0;
    bool FailNextSave = false;

protected:
    TRecordList SaveRecords(const TRecordList& Records, const TUpdateSummary&) override {
        if (FailNextSave) {
            FailNextSave = false;
            throw EFileError(FFileName, "File too large");
        }
        ++Rewrites;
        return Records;
    }
    TRecord WithPoint(const TImageData& Record, TPoint Value) const override {
        if (!Record.HasImage())
            return nullptr;
        auto changed = std::make_shared<TImageData>(Record);
        PutI32(changed->Image.data() + 8, Value.X);
        PutI32(changed->Image.data() + 12, Value.Y);
        return changed;
    }
    bool Reload() override {
        ++Reloads;
        m_FileStream = std::make_shared<TFileStream>(FFileName, TFileStream::fmOpenReadWrite);
        StampFiles();
        return true;
    }
};

TDIB Picture(int width, int red) {
    TDIB dib;
    dib.SetSize(width, 2, 24);
    dib.FillRect(0, 0, width, 2, RGBColor(uint8_t(red), 1, 1));
    return dib;
}

int RedAt(TTestImages& lib, int index) {
    TPicture* p = lib.GetBitmap(index);
    return p ? RedOf(p->AsDIB()->PixelColor(0, 0)) : -1;
}

std::vector<int> Reds(TTestImages& lib) {
    std::vector<int> reds;
    for (int i = 0; i < lib.ImageCount(); ++i)
        reds.push_back(RedAt(lib, i));
    return reds;
}

// A library of `count` images whose red components are 0, 1, 2, ...
void FillLibrary(TTestImages& lib, int count) {
    auto update = lib.BeginUpdate(0);
    for (int i = 0; i < count; ++i) {
        TDIB p = Picture(3, i);
        ASSERT_TRUE(update.Add(p, i, -i, 0, nullptr));
    }
    update.EndUpdate();
}

TEST(GameImages, BaseOperationsRefuse) {
    struct TBare : TGameImages {
        TBare() : TGameImages("bare", t_Wis) {}
    } bare;
    TDIB p = Picture(3, 1);
    EXPECT_EQ(bare.EncodeImage(p, 0, 0, 0, nullptr), nullptr);
    EXPECT_EQ(bare.GetBitmap(0), nullptr);
    EXPECT_EQ(bare.GetPoint(0), TPoint{});
    int px = 5, py = 6;
    EXPECT_EQ(bare.Get(0, px, py), nullptr);
    EXPECT_EQ(bare.ImageCount(), 0);
    // Nothing is open: every edit is refused before anything is locked or written.
    EXPECT_EQ(bare.EditRefusal(), TEditRefusal::erNotOpen);
    EXPECT_THROW(bare.BeginUpdate(0), EEditRefused);
    EXPECT_FALSE(bare.Delete(0, 0, nullptr));
}

TEST(GameImages, InsertAndReplaceWorkAtTheCursorAndRefuseOutsideTheList) {
    TCoreTempDir dir;
    TTestImages lib(dir);
    FillLibrary(lib, 3);
    TDIB a = Picture(3, 100), b = Picture(3, 101), bad = Picture(13, 9);
    {
        auto update = lib.BeginUpdate(1);
        ASSERT_TRUE(update.Insert(99, a, 0, 0, 0, nullptr)); // Index is ignored
        ASSERT_TRUE(update.Insert(99, b, 0, 0, 0, nullptr));
        EXPECT_FALSE(update.Insert(0, bad, 0, 0, 0, nullptr)); // the list stays as it was
        EXPECT_EQ(update.Cursor(), 3);
        ASSERT_TRUE(update.Replace(0, a, 0, 0, 0, nullptr)); // the image at the cursor
        // A picture that cannot be encoded keeps the old record: later numbers do not move.
        EXPECT_FALSE(update.Replace(0, bad, 0, 0, 0, nullptr));
        update.EndUpdate();
    }
    EXPECT_EQ(Reds(lib), (std::vector<int>{0, 100, 101, 100, 2}));
    {
        auto update = lib.BeginUpdate(4);
        ASSERT_TRUE(update.Insert(0, b, 0, 0, 0, nullptr)); // before the last image
        update.EndUpdate();
    }
    EXPECT_EQ(Reds(lib), (std::vector<int>{0, 100, 101, 100, 101, 2}));
    for (int cursor : {6, -1, 7}) {
        auto update = lib.BeginUpdate(cursor);
        EXPECT_FALSE(update.Insert(0, a, 0, 0, 0, nullptr)) << cursor;
        EXPECT_FALSE(update.Replace(0, a, 0, 0, 0, nullptr)) << cursor;
        EXPECT_FALSE(update.Changed());
    }
    EXPECT_EQ(lib.Rewrites, 3) << "edits that change nothing write nothing";
}

TEST(GameImages, AnEditIsWrittenWholeOrNotAtAll) {
    TCoreTempDir dir;
    TTestImages lib(dir);
    FillLibrary(lib, 3);
    const std::shared_ptr<const TRecordList> before = lib.Records();
    TDIB a = Picture(3, 50);
    // Without EndUpdate (an early return, an exception in the middle of a batch) nothing stays.
    try {
        auto update = lib.BeginUpdate(-1);
        ASSERT_TRUE(update.Add(a, 0, 0, 0, nullptr));
        ASSERT_TRUE(update.Delete(0, 0, nullptr));
        throw std::runtime_error("batch interrupted");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(lib.Records(), before);
    // A save that fails leaves the snapshot as it was; the next edit does not carry the failed
    // one's changes.
    lib.FailNextSave = true;
    {
        auto update = lib.BeginUpdate(-1);
        ASSERT_TRUE(update.Add(a, 0, 0, 0, nullptr));
        EXPECT_THROW(update.EndUpdate(), EFileError);
        EXPECT_THROW(update.EndUpdate(), EFileError) << "the edit has ended";
    }
    EXPECT_EQ(lib.Records(), before);
    EXPECT_TRUE(lib.Fill(2, 2, nullptr));
    EXPECT_EQ(Reds(lib), (std::vector<int>{0, 1, 0}));
    // Readers keep the snapshot they took, unchanged by later edits.
    EXPECT_EQ(before->size(), 3u);
    EXPECT_TRUE((*before)[2]->HasImage());
}

TEST(GameImages, DeleteFillAndSetPointAreEditsOfTheirOwn) {
    TCoreTempDir dir;
    TTestImages lib(dir);
    FillLibrary(lib, 10);
    lib.Rewrites = 0;
    int notified = 0;
    ASSERT_TRUE(lib.Delete(2, 4, [&](TGameImages* sender) {
        EXPECT_EQ(sender, &lib);
        ++notified;
    }));
    EXPECT_EQ(notified, 3);
    EXPECT_EQ(lib.Rewrites, 1);
    EXPECT_EQ(Reds(lib), (std::vector<int>{0, 1, 5, 6, 7, 8, 9}));
    ASSERT_TRUE(lib.Fill(1, 2, nullptr));
    EXPECT_FALSE((*lib.Records())[1]->HasImage());
    EXPECT_EQ(lib.GetBitmap(1)->Width(), 1);
    EXPECT_EQ(lib.ImageCount(), 7);
    lib.SetPoint(3, {7, -8});
    EXPECT_EQ(lib.GetPoint(3), (TPoint{7, -8}));
    lib.SetPoint(1, {7, -8}); // an emptied image holds no offset
    lib.SetPoint(70, {7, -8});
    EXPECT_EQ(lib.Rewrites, 3);

    const int ranges[][2] = {{3, 2}, {0, 7}, {7, 7}, {-1, 2}, {4, 100}};
    for (const auto& r : ranges) {
        EXPECT_FALSE(lib.Delete(r[0], r[1], nullptr)) << r[0] << ".." << r[1];
        EXPECT_FALSE(lib.Fill(r[0], r[1], nullptr)) << r[0] << ".." << r[1];
    }
    EXPECT_EQ(lib.Rewrites, 3);
}

TEST(GameImages, AnEditReadsALibraryChangedOnDiskFirst) {
    TCoreTempDir dir;
    TTestImages lib(dir);
    FillLibrary(lib, 2);
    EXPECT_EQ(lib.Reloads, 0);
    lib.TouchOnDisk();
    EXPECT_TRUE(lib.Fill(0, 0, nullptr));
    EXPECT_EQ(lib.Reloads, 1);
    EXPECT_TRUE(lib.Fill(1, 1, nullptr));
    EXPECT_EQ(lib.Reloads, 1) << "its own save is not someone else's change";
}

TEST(GameImages, AnotherProgramsLockMakesTheEditWaitThenFail) {
    TCoreTempDir dir;
    TTestImages lib(dir);
    FillLibrary(lib, 2);
    lib.SetLockTimeout(std::chrono::milliseconds(100));
    TLibraryLock held(lib.FileName());
    EXPECT_THROW(lib.Delete(0, 0, nullptr), ELibraryBusy);
    EXPECT_EQ(lib.ImageCount(), 2);
    held.Release();
    EXPECT_TRUE(lib.Delete(0, 0, nullptr));
}

TEST(GameImages, FillDIBIsABlankPixelOfTheLibrarysBitCount) {
    TCoreTempDir dir;
    TTestImages lib(dir);
    for (int bits : {8, 16, 24, 32}) {
        lib.SetBits(bits);
        std::unique_ptr<TDIB> dib = lib.FillDIB();
        ASSERT_TRUE(dib);
        EXPECT_EQ(dib->Width(), 1);
        EXPECT_EQ(dib->Height(), 1);
        EXPECT_EQ(dib->BitCount(), bits);
        EXPECT_EQ(dib->Pixel(0, 0), 0u);
        if (bits == 8)
            EXPECT_EQ(dib->ColorTable(), DefaultPalette);
        else if (bits == 16)
            EXPECT_EQ(dib->PixelFormat(), MakePixelFormat(5, 6, 5));
        else
            EXPECT_EQ(dib->PixelFormat(), MakePixelFormat(8, 8, 8));
    }
}

// ---- fitting and drawing ----

TEST(FitToBox, ThePartsCases) {
    int w = 64, h = 64;
    FitToBox(200, 100, w, h);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 32);
    w = 64, h = 64;
    FitToBox(100, 200, w, h);
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 64);
    w = 64, h = 64;
    FitToBox(40, 30, w, h);
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 30);
    w = 64, h = 64;
    FitToBox(64, 64, w, h);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 64);
}

TEST(FitToBox, HalvesRoundToEven) {
    int w = 80, h = 1;
    FitToBox(160, 1, w, h); // 1 * 1 / 160 = 0.00625 -> 0
    EXPECT_EQ(h, 0);
    w = 4, h = 2;
    FitToBox(8, 1, w, h); // 1 * 2 / 8 = 0.25 -> 0
    EXPECT_EQ(h, 0);
    w = 4, h = 4;
    FitToBox(8, 1, w, h); // 0.5 -> 0
    EXPECT_EQ(h, 0);
    w = 4, h = 4;
    FitToBox(8, 3, w, h); // 1.5 -> 2
    EXPECT_EQ(h, 2);
    w = 4, h = 4;
    FitToBox(8, 5, w, h); // 2.5 -> 2
    EXPECT_EQ(h, 2);
    w = 4, h = 4;
    FitToBox(8, 7, w, h); // 3.5 -> 4
    EXPECT_EQ(h, 4);
    w = 10, h = 80;
    FitToBox(5, 100, w, h); // W <= H: width = 5 * 10 / 100 = 0.5 -> 0
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 80);
    w = 10, h = 80;
    FitToBox(15, 100, w, h); // 1.5 -> 2
    EXPECT_EQ(w, 2);
}

TEST(FitToBox, OnlyOneSideChanges) {
    int w = 64, h = 16;
    FitToBox(100, 50, w, h); // too large; W > H: height = 50 * 16 / 100 = 8; width stays
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 8);
}

TEST(StretchBlt, DrawsTheFittedPictureWithBlackTransparent) {
    TCoreTempDir dir;
    TTestImages lib(dir);
    auto update = lib.BeginUpdate(-1);
    TDIB big;
    big.SetSize(200, 100, 24);
    big.FillRect(0, 0, 200, 100, RGBColor(10, 20, 30));
    big.FillRect(0, 0, 100, 100, RGBColor(0, 0, 0)); // left half black: transparent
    ASSERT_TRUE(update.Add(big, 0, 0, 0, nullptr));
    update.EndUpdate();

    TDIB dc;
    dc.SetSize(100, 100, 32);
    dc.FillRect(0, 0, 100, 100, RGBColor(200, 200, 200));
    int w = 64, h = 64;
    lib.StretchBlt(0, dc, 10, 20, w, h);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 32);
    EXPECT_EQ(dc.PixelColor(9, 20), RGBColor(200, 200, 200));  // left of the box
    EXPECT_EQ(dc.PixelColor(10, 20), RGBColor(200, 200, 200)); // black: left unchanged
    EXPECT_EQ(dc.PixelColor(10 + 40, 20), RGBColor(10, 20, 30));
    EXPECT_EQ(dc.PixelColor(10 + 63, 20 + 31), RGBColor(10, 20, 30));
    EXPECT_EQ(dc.PixelColor(10 + 64, 20), RGBColor(200, 200, 200));
    EXPECT_EQ(dc.PixelColor(10 + 40, 20 + 32), RGBColor(200, 200, 200));
}

TEST(StretchBlt, NothingWhenThereIsNoPicture) {
    TCoreTempDir dir;
    TTestImages lib(dir);
    TDIB dc;
    dc.SetSize(8, 8, 32);
    int w = 5, h = 7;
    lib.StretchBlt(3, dc, 0, 0, w, h);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 7);
}

TEST(StretchBlt, SmallPictureKeepsItsSize) {
    TCoreTempDir dir;
    TTestImages lib(dir);
    auto update = lib.BeginUpdate(-1);
    TDIB small = Picture(3, 99);
    ASSERT_TRUE(update.Add(small, 0, 0, 0, nullptr));
    update.EndUpdate();
    TDIB dc;
    dc.SetSize(80, 80, 32);
    int w = 80, h = 80;
    lib.StretchBlt(0, dc, 0, 0, w, h);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(RedOf(dc.PixelColor(2, 1)), 99);
    EXPECT_EQ(dc.PixelColor(3, 1), 0u);
}

TEST(DrawGraphic, AlphaPicturesComeIn32BitsWithTheirAlpha) {
    TPngPicture png;
    png.SetSize(2, 1, pctRGBAlpha);
    png.Scanline(0)[0] = 255; // red, alpha 7
    png.AlphaScanline(0)[0] = 7;
    png.AlphaScanline(0)[1] = 0; // black, transparent by colour
    TDIB dc;
    dc.SetSize(2, 1, 32);
    dc.FillRect(0, 0, 2, 1, RGBColor(1, 2, 3));
    DrawGraphic(png, dc, 0, 0, 2, 1);
    EXPECT_EQ(dc.Pixel(0, 0), 0x07FF0000u);
    EXPECT_EQ(dc.PixelColor(1, 0), RGBColor(1, 2, 3));
}

TEST(DrawGraphic, PalettePicturesAndEmptyBoxes) {
    TDIB pal;
    pal.SetSize(2, 2, 8);
    pal.SetPixel(0, 0, 249);
    TDIB dc;
    dc.SetSize(4, 4, 32);
    DrawGraphic(pal, dc, 1, 1, 0, 3); // nothing for an empty box
    EXPECT_EQ(dc.Pixel(1, 1), 0u);
    DrawGraphic(pal, dc, 1, 1, 4, 4); // stretched 2x, clipped at the edge
    EXPECT_EQ(dc.PixelColor(1, 1), RGBColor(255, 0, 0));
    EXPECT_EQ(dc.PixelColor(2, 2), RGBColor(255, 0, 0));
    EXPECT_EQ(dc.PixelColor(3, 3), 0u);
}

} // namespace
} // namespace velmora
