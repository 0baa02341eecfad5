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

// A small library kept in memory: each record's Image is the width, height, X, Y (4 bytes each)
// followed by the buffer's storage. Pictures 13 pixels wide cannot be encoded.
class TTestImages : public TGameImages {
public:
    explicit TTestImages(const std::string& fileName = "test.lib", TImageType type = t_Wil)
        : TGameImages(fileName, type) {}
    ~TTestImages() override {
        TTestImages::Finalize();
        if (FinalizeCounter)
            ++*FinalizeCounter;
    }

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

    TPicture* GetBitmap(int Index) override {
        Source.reset();
        if (FDenyReadWrite || Index < 0 || size_t(Index) >= m_Images.size())
            return nullptr;
        Source = Decode(*m_Images[size_t(Index)]);
        return Source.get();
    }

    TPoint GetPoint(int Index) override {
        if (Index < 0 || size_t(Index) >= m_Images.size() || !m_Images[size_t(Index)]->HasImage())
            return {};
        const uint8_t* p = m_Images[size_t(Index)]->Image.data();
        return {GetI32(p + 8), GetI32(p + 12)};
    }

    void EndUpdate() override {
        ++Rewrites;
        FImageCount = int32_t(m_Images.size());
        TGameImages::EndUpdate();
    }

    void Finalize() override {
        ++Finalized;
        TGameImages::Finalize();
    }

    std::unique_ptr<TDIB> Decode(const TImageData& record) {
        if (!record.HasImage())
            return FillDIB();
        auto dib = std::make_unique<TDIB>();
        dib->SetSize(GetI32(record.Image.data()), GetI32(record.Image.data() + 4), 24);
        std::memcpy(dib->PBits(), record.Image.data() + 16, size_t(dib->Size()));
        return dib;
    }

    int Cursor() const { return m_nIndex; }
    int RunningSize() const { return m_nSize; }
    bool Denied() const { return FDenyReadWrite; }
    void SetBits(int bits) { FBitCount = bits; }
    void SetPicture(std::unique_ptr<TPicture> picture) { Override = std::move(picture); }

    int Rewrites = 0;
    int Finalized = 0;
    int* FinalizeCounter = nullptr;
    std::unique_ptr<TPicture> Override;
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

// A library of `count` images whose red components are 0, 1, 2, ...
void FillLibrary(TTestImages& lib, int count) {
    lib.BeginUpdate(0);
    for (int i = 0; i < count; ++i) {
        TDIB p = Picture(3, i);
        ASSERT_TRUE(lib.Add(p, i, -i, 0, nullptr));
    }
    lib.EndUpdate();
}

TEST(GameImages, ConstructionTouchesNothing) {
    TTestImages lib("x.wil", t_Wzl);
    EXPECT_EQ(lib.FileName(), "x.wil");
    EXPECT_EQ(lib.ImageType(), t_Wzl);
    EXPECT_EQ(lib.ImageCount(), 0);
    EXPECT_EQ(lib.BitCount(), 8);
    EXPECT_FALSE(lib.Initialized());
    EXPECT_FALSE(lib.Updated());
    EXPECT_FALSE(lib.DenyReadWrite());
    EXPECT_EQ(lib.Cursor(), -1);
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
    EXPECT_FALSE(bare.Add(p, 0, 0, 0, nullptr));
    bare.BeginUpdate(0);
    EXPECT_FALSE(bare.Insert(0, p, 0, 0, 0, nullptr));
    EXPECT_FALSE(bare.Replace(0, p, 0, 0, 0, nullptr));
    bare.EndUpdate();
    EXPECT_TRUE(bare.Images().empty());
}

TEST(GameImages, BeginAndEndUpdate) {
    TTestImages lib;
    lib.BeginUpdate(4);
    EXPECT_TRUE(lib.Denied());
    EXPECT_EQ(lib.Cursor(), 4);
    EXPECT_EQ(lib.RunningSize(), 0);
    lib.EndUpdate();
    EXPECT_FALSE(lib.Denied());
    EXPECT_EQ(lib.Cursor(), -1);
    EXPECT_TRUE(lib.Updated());
}

TEST(GameImages, AddAppendsAndCountsSize) {
    TTestImages lib;
    lib.BeginUpdate(-1);
    TDIB a = Picture(3, 1);
    ASSERT_TRUE(lib.Add(a, 0, 0, 0, nullptr));
    int first = lib.Images()[0]->DataSize + 4;
    EXPECT_EQ(lib.RunningSize(), first);
    TDIB bad = Picture(13, 1);
    EXPECT_FALSE(lib.Add(bad, 0, 0, 0, nullptr));
    EXPECT_EQ(lib.Images().size(), 1u);
    EXPECT_EQ(lib.RunningSize(), first);
    lib.EndUpdate();
    EXPECT_EQ(lib.Rewrites, 1);
}

TEST(GameImages, InsertLandsInOrderAtTheCursor) {
    TTestImages lib;
    FillLibrary(lib, 3);
    lib.BeginUpdate(1);
    TDIB a = Picture(3, 100), b = Picture(3, 101);
    ASSERT_TRUE(lib.Insert(99, a, 0, 0, 0, nullptr)); // Index is ignored
    ASSERT_TRUE(lib.Insert(99, b, 0, 0, 0, nullptr));
    EXPECT_EQ(lib.Cursor(), 3);
    EXPECT_EQ(lib.RunningSize(), 2 * (lib.Images()[1]->DataSize + 4));
    lib.EndUpdate();
    const int expected[] = {0, 100, 101, 1, 2};
    ASSERT_EQ(lib.Images().size(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(RedAt(lib, i), expected[i]);
}

TEST(GameImages, InsertAndReplaceOnTheLastImage) {
    TTestImages lib;
    FillLibrary(lib, 3);
    lib.BeginUpdate(2);
    TDIB a = Picture(3, 50);
    ASSERT_TRUE(lib.Insert(0, a, 0, 0, 0, nullptr)); // before the last image
    lib.EndUpdate();
    EXPECT_EQ(RedAt(lib, 2), 50);
    EXPECT_EQ(RedAt(lib, 3), 2);

    lib.BeginUpdate(3);
    TDIB b = Picture(3, 60);
    ASSERT_TRUE(lib.Replace(0, b, 0, 0, 0, nullptr)); // swaps the last image
    lib.EndUpdate();
    EXPECT_EQ(lib.Images().size(), 4u);
    EXPECT_EQ(RedAt(lib, 3), 60);
}

TEST(GameImages, InsertAndReplaceRefuseOutsideTheList) {
    TTestImages lib;
    FillLibrary(lib, 3);
    TDIB a = Picture(3, 50);
    for (int cursor : {3, -1, 4, -5}) {
        lib.BeginUpdate(cursor);
        EXPECT_FALSE(lib.Insert(0, a, 0, 0, 0, nullptr)) << cursor;
        EXPECT_FALSE(lib.Replace(0, a, 0, 0, 0, nullptr)) << cursor;
        EXPECT_EQ(lib.Cursor(), cursor);
        lib.EndUpdate();
    }
    EXPECT_EQ(lib.Images().size(), 3u);
    // Outside an update the cursor is -1.
    EXPECT_FALSE(lib.Insert(0, a, 0, 0, 0, nullptr));

    TTestImages empty;
    for (int cursor : {-1, 0, 1}) {
        empty.BeginUpdate(cursor);
        EXPECT_FALSE(empty.Insert(0, a, 0, 0, 0, nullptr));
        EXPECT_FALSE(empty.Replace(0, a, 0, 0, 0, nullptr));
        empty.EndUpdate();
    }
    EXPECT_TRUE(empty.Images().empty());
}

TEST(GameImages, ReplaceAdvancesAndKeepsTheRunningSize) {
    TTestImages lib;
    FillLibrary(lib, 4);
    lib.BeginUpdate(1);
    TDIB a = Picture(3, 70), b = Picture(3, 71);
    ASSERT_TRUE(lib.Replace(0, a, 0, 0, 0, nullptr));
    ASSERT_TRUE(lib.Replace(0, b, 0, 0, 0, nullptr));
    EXPECT_EQ(lib.Cursor(), 3);
    EXPECT_EQ(lib.RunningSize(), 0);
    lib.EndUpdate();
    const int expected[] = {0, 70, 71, 3};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(RedAt(lib, i), expected[i]);
}

TEST(GameImages, FailedReplaceKeepsTheOldRecordInItsSlot) {
    TTestImages lib;
    FillLibrary(lib, 4);
    lib.BeginUpdate(1);
    TDIB bad = Picture(13, 9);
    EXPECT_FALSE(lib.Replace(0, bad, 0, 0, 0, nullptr));
    EXPECT_EQ(lib.Cursor(), 1);
    lib.EndUpdate();
    ASSERT_EQ(lib.Images().size(), 4u); // the numbering of later images is unchanged
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(RedAt(lib, i), i);
}

TEST(GameImages, FailedInsertLeavesTheListAlone) {
    TTestImages lib;
    FillLibrary(lib, 2);
    lib.BeginUpdate(0);
    TDIB bad = Picture(13, 9);
    EXPECT_FALSE(lib.Insert(0, bad, 0, 0, 0, nullptr));
    EXPECT_EQ(lib.Cursor(), 0);
    EXPECT_EQ(lib.RunningSize(), 0);
    lib.EndUpdate();
    EXPECT_EQ(lib.Images().size(), 2u);
}

TEST(GameImages, DeleteRemovesARangeAndRewritesOnce) {
    TTestImages lib;
    FillLibrary(lib, 10);
    lib.Rewrites = 0;
    int notified = 0;
    ASSERT_TRUE(lib.Delete(2, 4, [&](TGameImages* sender) {
        EXPECT_EQ(sender, &lib);
        ++notified;
    }));
    EXPECT_EQ(notified, 3);
    EXPECT_EQ(lib.Rewrites, 1);
    EXPECT_EQ(lib.ImageCount(), 7);
    const int expected[] = {0, 1, 5, 6, 7, 8, 9};
    ASSERT_EQ(lib.Images().size(), 7u);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(RedAt(lib, i), expected[i]);
    EXPECT_FALSE(lib.Denied());
    EXPECT_EQ(lib.Cursor(), -1);
}

TEST(GameImages, DeleteWithoutNotification) {
    TTestImages lib;
    FillLibrary(lib, 3);
    ASSERT_TRUE(lib.Delete(0, 2, nullptr));
    EXPECT_TRUE(lib.Images().empty());
}

TEST(GameImages, FillEmptiesARangeAndKeepsTheCount) {
    TTestImages lib;
    FillLibrary(lib, 5);
    lib.Rewrites = 0;
    int notified = 0;
    ASSERT_TRUE(lib.Fill(1, 3, [&](TGameImages*) { ++notified; }));
    EXPECT_EQ(notified, 3);
    EXPECT_EQ(lib.Rewrites, 1);
    ASSERT_EQ(lib.Images().size(), 5u);
    for (int i = 1; i <= 3; ++i) {
        const TImageData& r = *lib.Images()[size_t(i)];
        EXPECT_EQ(r.HeaderSize, 0);
        EXPECT_EQ(r.DataSize, 0);
        EXPECT_FALSE(r.HasImage());
        TPicture* p = lib.GetBitmap(i);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->Width(), 1);
        EXPECT_EQ(p->Height(), 1);
        EXPECT_EQ(p->AsDIB()->PixelColor(0, 0), RGBColor(0, 0, 0));
    }
    EXPECT_EQ(RedAt(lib, 0), 0);
    EXPECT_EQ(RedAt(lib, 4), 4);
}

TEST(GameImages, DeleteAndFillRefuseBadRanges) {
    TTestImages lib;
    FillLibrary(lib, 5);
    lib.Rewrites = 0;
    int notified = 0;
    auto note = [&](TGameImages*) { ++notified; };
    const int ranges[][2] = {{3, 2}, {0, 5}, {5, 5}, {-1, 2}, {4, 100}};
    for (const auto& r : ranges) {
        EXPECT_FALSE(lib.Delete(r[0], r[1], note)) << r[0] << ".." << r[1];
        EXPECT_FALSE(lib.Fill(r[0], r[1], note)) << r[0] << ".." << r[1];
    }
    EXPECT_EQ(notified, 0);
    EXPECT_EQ(lib.Rewrites, 0);
    EXPECT_FALSE(lib.Denied());
    EXPECT_EQ(lib.Images().size(), 5u);
    TTestImages empty;
    EXPECT_FALSE(empty.Delete(0, 0, note));
    EXPECT_FALSE(empty.Fill(0, 0, note));
}

TEST(GameImages, FillDIBIsABlankPixelOfTheLibrarysBitCount) {
    TTestImages lib;
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

TEST(GameImages, SecondGetBitmapReplacesTheFirst) {
    TTestImages lib;
    FillLibrary(lib, 2);
    TPicture* first = lib.GetBitmap(0);
    ASSERT_NE(first, nullptr);
    TPicture* second = lib.GetBitmap(1);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(RedOf(second->AsDIB()->PixelColor(0, 0)), 1);
    lib.BeginUpdate(0);
    EXPECT_EQ(lib.GetBitmap(0), nullptr);
    lib.EndUpdate();
}

TEST(GameImages, DerivedDestructorRunsItsOwnFinalize) {
    // Destroyed through a base pointer, the derived destructor runs and calls its Finalize.
    int destroyed = 0;
    {
        auto lib = std::make_unique<TTestImages>();
        lib->FinalizeCounter = &destroyed;
        FillLibrary(*lib, 2);
        std::unique_ptr<TGameImages> base = std::move(lib);
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(GameImages, FinalizeFreesRecordsAndSource) {
    TTestImages lib;
    FillLibrary(lib, 3);
    ASSERT_NE(lib.GetBitmap(0), nullptr);
    lib.Finalize();
    EXPECT_TRUE(lib.Images().empty());
    EXPECT_EQ(lib.Finalized, 1);
}

// ---- CreateFile ----

TEST(CreateFile, WilIs1080PlusAn56ByteIndex) {
    TCoreTempDir dir;
    for (int bits : {8, 16, 24, 32, 12}) {
        std::string name = dir.File("new" + std::to_string(bits) + ".wil");
        TTestImages lib(name, t_Wil);
        ASSERT_TRUE(lib.CreateFile(uint8_t(bits), "ignored"));
        std::vector<uint8_t> data = ReadFileBytes(name);
        std::vector<uint8_t> index = ReadFileBytes(dir.File("new" + std::to_string(bits) + ".WIX"));
        ASSERT_EQ(data.size(), 1080u);
        ASSERT_EQ(index.size(), 56u);
        EXPECT_EQ(data[0], 25);
        EXPECT_EQ(std::string(data.begin() + 1, data.begin() + 26), "WEMADE Entertainment inc.");
        for (int i = 26; i < 44; ++i)
            EXPECT_EQ(data[size_t(i)], 0) << i;
        EXPECT_EQ(GetU32(&data[44]), 0u);
        const uint32_t colours = bits == 8    ? 256u
                                 : bits == 16 ? 65536u
                                 : bits == 24 ? 16777216u
                                 : bits == 32 ? 0xFFFFFFFFu
                                              : 0u;
        EXPECT_EQ(GetU32(&data[48]), colours) << bits;
        EXPECT_EQ(GetU32(&data[52]), 1080u);
        EXPECT_EQ(std::memcmp(&data[56], DefaultPalette.data(), 1024), 0);
        EXPECT_EQ(std::memcmp(index.data(), data.data(), 26), 0);
        for (size_t i = 26; i < 56; ++i)
            EXPECT_EQ(index[i], 0) << i;
    }
}

TEST(CreateFile, WzlIs64PlusA48ByteIndex) {
    TCoreTempDir dir;
    std::string name = dir.File("new.wzl");
    TTestImages lib(name, t_Wzl);
    ASSERT_TRUE(lib.CreateFile(8, ""));
    std::vector<uint8_t> data = ReadFileBytes(name);
    std::vector<uint8_t> index = ReadFileBytes(dir.File("new.wzx"));
    ASSERT_EQ(data.size(), 64u);
    ASSERT_EQ(index.size(), 48u);
    for (const auto* b : {&data, &index}) {
        EXPECT_EQ(std::string(b->begin(), b->begin() + 19), "www.velmora.example");
        EXPECT_EQ((*b)[19], 'e'); // the last character of the length-prefixed copy
        for (size_t i = 20; i < b->size(); ++i)
            EXPECT_EQ((*b)[i], 0) << i;
    }
}

TEST(CreateFile, OverwritesAndShortensAnExistingLibrary) {
    TCoreTempDir dir;
    std::string name = dir.File("old.wzl");
    core_test::WriteFileBytes(name, std::vector<uint8_t>(5000, 0xAA));
    core_test::WriteFileBytes(dir.File("old.WZX"), std::vector<uint8_t>(300, 0xAA));
    TTestImages lib(name, t_Wzl);
    ASSERT_TRUE(lib.CreateFile(8, ""));
    EXPECT_EQ(ReadFileBytes(name).size(), 64u);
    EXPECT_EQ(ReadFileBytes(dir.File("old.WZX")).size(), 48u); // the existing index, any case
}

TEST(CreateFile, WisAndOthersWriteNothing) {
    TCoreTempDir dir;
    std::string name = dir.File("new.wis");
    TTestImages lib(name, t_Wis);
    EXPECT_FALSE(lib.CreateFile(8, ""));
    EXPECT_FALSE(FileExists(name));
    TTestImages pak(dir.File("new.pak"), t_Quillrand);
    EXPECT_FALSE(pak.CreateFile(8, "pw"));
    EXPECT_FALSE(FileExists(dir.File("new.pak")));
}

TEST(CreateFile, UnwritableFolderRaises) {
    TTestImages lib("/nonexistent-folder/x.wil", t_Wil);
    EXPECT_THROW(lib.CreateFile(8, ""), EFileError);
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
    TTestImages lib;
    lib.BeginUpdate(-1);
    TDIB big;
    big.SetSize(200, 100, 24);
    big.FillRect(0, 0, 200, 100, RGBColor(10, 20, 30));
    big.FillRect(0, 0, 100, 100, RGBColor(0, 0, 0)); // left half black: transparent
    ASSERT_TRUE(lib.Add(big, 0, 0, 0, nullptr));
    lib.EndUpdate();

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
    TTestImages lib;
    TDIB dc;
    dc.SetSize(8, 8, 32);
    int w = 5, h = 7;
    lib.StretchBlt(3, dc, 0, 0, w, h);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 7);
}

TEST(StretchBlt, SmallPictureKeepsItsSize) {
    TTestImages lib;
    lib.BeginUpdate(-1);
    TDIB small = Picture(3, 99);
    ASSERT_TRUE(lib.Add(small, 0, 0, 0, nullptr));
    lib.EndUpdate();
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
