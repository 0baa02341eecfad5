#include "operations/copy_images.h"

#include "core/file_stream.h"
#include "formats/image_info.h"
#include "operations/create_library.h"
#include "operations/library_files.h"
#include "support/cli_support.h"
#include "support/pak_support.h"
#include "support/wis_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <utility>
#include <stdexcept>

namespace velmora {
namespace {

using cli_test::TCliTempDir;

// Six images: patterned pictures with black around them, every second one with alpha (0 where
// black) where the library keeps it, image 2 empty.
void AddImages(TGameImages& library, uint32_t seed) {
    auto update = library.BeginUpdate(-1);
    TDIB blank = *library.FillDIB();
    for (int i = 0; i < 6; ++i) {
        if (i == 2) {
            ASSERT_TRUE(update.Add(blank, 0, 0, 0, nullptr));
            continue;
        }
        TDIB picture;
        picture.SetPixelFormat(MakePixelFormat(8, 8, 8));
        picture.SetSize(9 + 4 * i, 12, 24);
        picture.Draw(2, 1, cli_test::PatternPicture(5 + 4 * i, 9, seed + uint32_t(31 * i)));
        std::unique_ptr<TDIB> plane;
        if (i % 2 == 1) {
            plane = MakeLibraryBuffer(8, picture.Width(), picture.Height());
            for (int y = 0; y < picture.Height(); ++y)
                for (int x = 0; x < picture.Width(); ++x)
                    plane->SetPixel(x, y,
                                    picture.Pixel(x, y) == 0 ? 0 : uint32_t(60 + 15 * (x % 13)));
        }
        ASSERT_TRUE(update.Add(picture, 4 - 9 * i, -2 * i, uint8_t(i % 2), plane.get()));
    }
    update.EndUpdate();
}

// A Pak library of the old index layout at 16 bits, built from the container layout.
void WriteOldPak(const std::string& path, int images, const std::string& password) {
    test::TPakTestFile file;
    file.Password = password;
    file.bfType = 0;
    file.BitCount = 16;
    for (int i = 0; i < images; ++i) {
        const auto pixels = test::MakePatternDIB(6 + i, 5, 16, uint32_t(i));
        file.Records.push_back(
            {test::OldRecordHeader(0, 6 + i, 5, i, -i),
             std::vector<uint8_t>(pixels->PBits(), pixels->PBits() + pixels->Size())});
    }
    test::WritePakBytes(path, test::BuildPakFile(file));
}

// Colours as a library without alpha shows them: transparent pixels black, the rest opaque.
std::vector<uint32_t> Opaque(std::vector<uint32_t> argb) {
    for (uint32_t& p : argb)
        p = (p >> 24) == 0 ? 0xFF000000u : (p | 0xFF000000u);
    return argb;
}

// True when every colour channel differs by at most tolerance.
bool Near(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int tolerance) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        for (int shift = 0; shift < 32; shift += 8)
            if (std::abs(int((a[i] >> shift) & 255) - int((b[i] >> shift) & 255)) > tolerance)
                return false;
    return true;
}

// The stored header and payload of a record.
std::vector<uint8_t> StoredBytes(const TImageData& record) {
    std::vector<uint8_t> bytes(record.Header().begin(), record.Header().end());
    const TPayload payload(record);
    bytes.insert(bytes.end(), payload.Bytes().begin(), payload.Bytes().end());
    return bytes;
}

struct TLibrary {
    const char* Name; // a file name; libraries of one layout share the part before the dot
    TImageType Kind;
};

const TLibrary kLibraries[] = {
    {"wil8.wil", t_Wil},      {"wil16.wil", t_Wil},     {"wzl.wzl", t_Wzl},
    {"pak.pak", t_Quillrand}, {"old.pak", t_Quillrand}, {"wis.wis", t_Wis},
};

// Writes a library of the list at path: the sources with images, the targets (`empty`) without.
// A Pak library gets the password.
void MakeLibrary(const TLibrary& library, const std::string& path, bool empty,
                 const std::string& password) {
    const std::string name = library.Name;
    if (name == "wis.wis") {
        test::TWisWriter writer;
        for (int i = 0; i < 4; ++i) {
            std::vector<uint8_t> pixels(size_t(13 + i) * 6);
            for (size_t k = 0; k < pixels.size(); ++k)
                pixels[k] = uint8_t(k % 5 == 0 ? 0 : 1 + (k * 7 + size_t(i)) % 250);
            writer.AddImage(13 + i, 6, -i, 3 * i, pixels, i % 2 == 1);
        }
        writer.Save(path);
        return;
    }
    if (name == "old.pak") {
        WriteOldPak(path, empty ? 0 : 3, password);
        return;
    }
    const int bits = name == "wil16.wil" ? 16 : 8;
    ASSERT_TRUE(CreateLibraryFile(library.Kind, path, bits, password).Created);
    if (!empty)
        AddImages(*cli_test::OpenForTest(path, password), 7);
}

// Every source kind into every kind that is written: records travel unchanged where the two
// libraries store images alike, are converted where conversions convert them, and otherwise
// the pictures arrive with their offsets (their colours reduced only where the plan says so).
TEST(CopyImages, EveryPairOfKinds) {
    TCliTempDir dir;
    for (const TLibrary& from : kLibraries)
        MakeLibrary(from, dir / (std::string("s-") + from.Name), false, "secret");
    for (const TLibrary& from : kLibraries) {
        for (const TLibrary& into : kLibraries) {
            if (into.Kind == t_Wis)
                continue;
            const std::string sourceName = std::string(from.Name);
            const std::string targetName = std::string(into.Name);
            SCOPED_TRACE(sourceName + " -> " + targetName);
            const std::string sourcePath = dir / ("s-" + sourceName);
            const std::string targetPath = dir / ("t-" + sourceName + "-" + targetName);
            MakeLibrary(into, targetPath, true, "other");
            auto source = cli_test::OpenForTest(sourcePath, "secret");
            auto target = cli_test::OpenForTest(targetPath, "other");
            ASSERT_TRUE(source && target);

            const auto layout = [](const std::string& n) { return n.substr(0, n.find('.')); };
            const bool wilSource = from.Kind == t_Wil;
            const TCopyWay expected =
                layout(sourceName) == layout(targetName) ? TCopyWay::cwRecords
                : (wilSource && (targetName == "wzl.wzl" || targetName == "pak.pak")) ||
                        (sourceName == "wzl.wzl" && targetName == "pak.pak")
                    ? TCopyWay::cwConvertedRecords
                    : TCopyWay::cwPictures;
            const TCopyResult result = CopyImages(*source, *target, {});
            ASSERT_TRUE(result.Done) << result.Error;
            EXPECT_EQ(result.Plan.Way, expected);
            EXPECT_EQ(result.Undecodable, 0);

            // What is on disk, read anew (a Pak's record headers under its own password).
            target = cli_test::OpenForTest(targetPath, "other");
            ASSERT_EQ(target->ImageCount(), source->ImageCount());
            const auto sourceRecords = source->Snapshot();
            const auto targetRecords = target->Snapshot();
            const int tolerance = target->BitCount() == 16 ? 12 : 0;
            for (int i = 0; i < source->ImageCount(); ++i) {
                SCOPED_TRACE("image " + std::to_string(i));
                if (expected == TCopyWay::cwRecords) {
                    EXPECT_EQ(StoredBytes(*(*targetRecords)[size_t(i)]),
                              StoredBytes(*(*sourceRecords)[size_t(i)]));
                    continue;
                }
                EXPECT_EQ(target->GetPoint(i), source->GetPoint(i));
                int x = 0, y = 0;
                auto a = source->Get(i, x, y);
                auto b = target->Get(i, x, y);
                ASSERT_TRUE(a && b);
                const auto pa = Opaque(cli_test::PictureArgb(*a));
                const auto pb = Opaque(cli_test::PictureArgb(*b));
                EXPECT_EQ(pa.size(), pb.size());
                if (result.Plan.Losses.ColoursReduced == 0) {
                    EXPECT_TRUE(Near(pa, pb, tolerance));
                }
            }
            // Alpha the target cannot keep is counted before the copy.
            const bool alpha = sourceName == "wzl.wzl" || sourceName == "pak.pak";
            if (alpha && into.Kind == t_Wil) {
                EXPECT_EQ(result.Plan.Losses.AlphaLost, 3);
            }
            if (sourceName == "pak.pak" && into.Kind == t_Wzl) {
                EXPECT_EQ(result.Plan.Losses.AlphaReduced, 3);
            }
        }
    }
}

// Images taken earlier (复制 in the editor) arrive as they were taken, whatever the source holds
// when they are copied: its images deleted, moved or blanked, records or pictures alike.
TEST(CopyImages, TakenImagesArriveAsTheyWereTaken) {
    TCliTempDir dir;
    ASSERT_TRUE(CreateLibraryFile(t_Wzl, dir / "a.wzl", 8, "").Created);
    auto source = cli_test::OpenForTest(dir / "a.wzl");
    AddImages(*source, 3);
    auto taken = std::make_shared<const TTakenImages>(TakeImages(*source, 1, 4));
    ASSERT_EQ(taken->Count(), 4);
    std::vector<std::vector<uint8_t>> stored;
    std::vector<std::vector<uint32_t>> pictures;
    std::vector<TPoint> offsets;
    for (int i = 1; i <= 4; ++i) {
        stored.push_back(StoredBytes(*(*source->Snapshot())[size_t(i)]));
        int x = 0, y = 0;
        pictures.push_back(Opaque(cli_test::PictureArgb(*source->Get(i, x, y))));
        offsets.push_back(source->GetPoint(i));
    }
    // The source changes after the images were taken: every record is written anew.
    ASSERT_TRUE(source->Delete(0, 1, {}));
    ASSERT_TRUE(source->Fill(0, 2, {}));
    EXPECT_EQ(TakeImages(*source, 3, 9).Count(), 0) << "a range past the end takes nothing";

    for (const auto& [name, kind] : {std::pair{"b.wzl", t_Wzl}, std::pair{"c.wil", t_Wil}}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(CreateLibraryFile(kind, dir / name, 16, "").Created);
        auto target = cli_test::OpenForTest(dir / name);
        TCopyOptions options;
        options.Taken = taken;
        options.From = 5; // not used: the taken images are copied
        const TCopyResult result = CopyImages(*source, *target, options);
        ASSERT_TRUE(result.Done) << result.Error;
        EXPECT_EQ(result.Plan.Way, kind == t_Wzl ? TCopyWay::cwRecords : TCopyWay::cwPictures);
        EXPECT_EQ(result.Plan.Losses.AlphaLost, kind == t_Wil ? 2 : 0);
        target = cli_test::OpenForTest(dir / name);
        ASSERT_EQ(target->ImageCount(), 4);
        for (int i = 0; i < 4; ++i) {
            if (kind == t_Wzl) {
                EXPECT_EQ(StoredBytes(*(*target->Snapshot())[size_t(i)]), stored[size_t(i)]) << i;
                continue;
            }
            int x = 0, y = 0;
            EXPECT_TRUE(
                Near(Opaque(cli_test::PictureArgb(*target->Get(i, x, y))), pictures[size_t(i)], 12))
                << i;
            if (i != 1) { // image 2 of the source is empty: the WIL blank has no offset
                EXPECT_EQ(target->GetPoint(i), offsets[size_t(i)]) << i;
            }
        }
    }
}

class CopyModes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CreateLibraryFile(t_Wzl, Dir / "a.wzl", 8, "").Created);
        ASSERT_TRUE(CreateLibraryFile(t_Wzl, Dir / "b.wzl", 8, "").Created);
        Source = cli_test::OpenForTest(Dir / "a.wzl");
        Target = cli_test::OpenForTest(Dir / "b.wzl");
        AddImages(*Source, 1);
        AddImages(*Target, 100);
        Target->Delete(4, 5, {});
        Files = {TFileStream::ReadAll(Dir / "b.wzl"), TFileStream::ReadAll(Dir / "b.wzx")};
    }
    // The stored bytes of image `index` of a library.
    static std::vector<uint8_t> Stored(const TGameImages& library, int index) {
        return StoredBytes(*(*library.Snapshot())[size_t(index)]);
    }
    bool TargetUnchanged() const {
        return Files == std::vector<std::vector<uint8_t>>{TFileStream::ReadAll(Dir / "b.wzl"),
                                                          TFileStream::ReadAll(Dir / "b.wzx")};
    }
    TCliTempDir Dir;
    std::unique_ptr<TGameImages> Source, Target;
    std::vector<std::vector<uint8_t>> Files;
};

TEST_F(CopyModes, InsertReplaceAndAppendLandWhereAsked) {
    const auto old1 = Stored(*Target, 1);
    TCopyOptions options;
    options.Mode = cmInsert;
    options.At = 1;
    options.From = 3;
    options.To = 4;
    std::vector<int> steps;
    TCopyResult result = CopyImages(*Source, *Target, options, [&](int done, int total) {
        EXPECT_EQ(total, 2);
        steps.push_back(done);
    });
    ASSERT_TRUE(result.Done) << result.Error;
    EXPECT_EQ(steps, (std::vector<int>{0, 1, 2}));
    ASSERT_EQ(Target->ImageCount(), 6);
    EXPECT_EQ(Stored(*Target, 1), Stored(*Source, 3));
    EXPECT_EQ(Stored(*Target, 2), Stored(*Source, 4));
    EXPECT_EQ(Stored(*Target, 3), old1);

    options.Mode = cmReplace;
    options.At = 4;
    options.From = 0;
    options.To = 1;
    ASSERT_TRUE(CopyImages(*Source, *Target, options).Done);
    ASSERT_EQ(Target->ImageCount(), 6);
    EXPECT_EQ(Stored(*Target, 4), Stored(*Source, 0));
    EXPECT_EQ(Stored(*Target, 5), Stored(*Source, 1));
    EXPECT_EQ(Stored(*Target, 3), old1) << "the image before the run stays";

    // Inserting before the image after the last appends; a library copies into itself.
    options.Mode = cmInsert;
    options.At = 6;
    options.From = 5;
    options.To = std::nullopt;
    ASSERT_TRUE(CopyImages(*Source, *Target, options).Done);
    EXPECT_EQ(Stored(*Target, 6), Stored(*Source, 5));
    options.At = 0;
    options.From = 0;
    options.To = 1;
    const auto first = Stored(*Target, 0), second = Stored(*Target, 1);
    ASSERT_TRUE(CopyImages(*Target, *Target, options).Done);
    ASSERT_EQ(Target->ImageCount(), 9);
    EXPECT_EQ(Stored(*Target, 0), first);
    EXPECT_EQ(Stored(*Target, 1), second);
    EXPECT_EQ(Stored(*Target, 2), first);

    auto reread = cli_test::OpenForTest(Dir / "b.wzl");
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(Stored(*reread, i), Stored(*Target, i)) << i;
}

// Ranges that reach past either library, and a copy cancelled half-way, write nothing.
TEST_F(CopyModes, RefusedRangesAndACancelWriteNothing) {
    struct TCase {
        TCopyMode Mode;
        int At, From;
        std::optional<int> To;
        const char* Reason;
    };
    const TCase cases[] = {
        {cmAppend, 0, 4, 6, "not all in the source (it holds 6 images, 0..5)"},
        {cmAppend, 0, -1, 2, "not all in the source"},
        {cmAppend, 0, 3, 2, "not all in the source"},
        {cmInsert, 5, 0, 0, "no image 5 to insert before (the target holds 4 images)"},
        {cmInsert, -1, 0, 0, "no image -1"},
        {cmReplace, 3, 0, 1, "images 3..4 to replace are not all in the target"},
    };
    for (const TCase& c : cases) {
        TCopyOptions options;
        options.Mode = c.Mode;
        options.At = c.At;
        options.From = c.From;
        options.To = c.To;
        const TCopyResult result = CopyImages(*Source, *Target, options);
        EXPECT_FALSE(result.Done);
        EXPECT_NE(result.Error.find(c.Reason), std::string::npos) << result.Error;
    }
    ASSERT_TRUE(CreateLibraryFile(t_Wzl, Dir / "empty.wzl", 8, "").Created);
    auto empty = cli_test::OpenForTest(Dir / "empty.wzl");
    EXPECT_EQ(CopyImages(*empty, *Target, {}).Error, "the source holds no images");

    struct TCancel {};
    EXPECT_THROW(CopyImages(*Source, *Target, {},
                            [](int done, int) {
                                if (done == 3)
                                    throw TCancel{};
                            }),
                 TCancel);
    EXPECT_EQ(Target->ImageCount(), 4);
    EXPECT_TRUE(TargetUnchanged());
}

} // namespace
} // namespace velmora
