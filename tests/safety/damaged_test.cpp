// Every input that once crashed or hung a reader (tests/data/damaged/<target>/) is read again
// through the same targets the fuzzers use: each must be refused or read cleanly, without an
// exception escaping (the sanitizer build of this test catches what is worse).

#include "core/dib.h"
#include "core/file_stream.h"
#include "files/picture_files.h"
#include "formats/pak.h"
#include "formats/wil.h"
#include "fuzz/fuzz_targets.h"
#include "support/formats_support.h"
#include "support/pak_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace velmora::fuzz {

namespace {

std::vector<uint8_t> Bytes(const std::string& path) {
    return TFileStream::ReadAll(path);
}

TEST(DamagedInputs, EveryKeptInputFailsCleanlyAndQuickly) {
    const std::filesystem::path root = std::filesystem::path(VELMORA_TEST_DATA) / "damaged";
    int replayed = 0;
    for (const TFuzzTargetInfo& target : FuzzTargets()) {
        const std::filesystem::path folder = root / target.Name;
        if (!std::filesystem::is_directory(folder))
            continue;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (!entry.is_regular_file())
                continue;
            const std::vector<uint8_t> input = Bytes(entry.path().string());
            const auto start = std::chrono::steady_clock::now();
            EXPECT_NO_THROW(target.Run(input)) << entry.path();
            // Inputs that once hung must now finish at once; the bound is generous for
            // sanitizer builds.
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10))
                << entry.path();
            ++replayed;
        }
    }
    std::printf("replayed %d damaged inputs\n", replayed);
}

// The targets must accept what the program writes, or a fuzzer would only ever see refusals.
TEST(DamagedInputs, TheTargetsReadWhatTheProgramWrites) {
    test::TFormatsTempDir dir;
    auto picture = test::PatternDIB(9, 7, 16, 3);

    const std::string wil = dir / "a.wil";
    TWil(wil).CreateFile(16, "");
    {
        TWil library(wil);
        library.Initialize();
        auto update = library.BeginUpdate(0);
        ASSERT_TRUE(update.Add(*picture, 1, 2, 0, nullptr));
        update.EndUpdate();
    }
    EXPECT_TRUE(FuzzWil(JoinPair(Bytes(wil), Bytes(dir / "a.WIX"))));
    // The index cut away: the library still opens, with no images.
    EXPECT_TRUE(FuzzWil(JoinPair(Bytes(wil), {})));
    EXPECT_FALSE(FuzzWil({}));

    const std::string pak = dir / "a.pak";
    TQuillrand(pak).CreateFile(16, kFuzzPakPassword);
    std::vector<uint8_t> stored{0};
    const std::vector<uint8_t> file = Bytes(pak);
    stored.insert(stored.end(), file.begin(), file.end());
    EXPECT_TRUE(FuzzPak(stored));
    TQuillrand(pak).CreateFile(16, "another password");
    const std::vector<uint8_t> other = Bytes(pak);
    std::copy(other.begin(), other.end(), stored.begin() + 1);
    EXPECT_FALSE(FuzzPak(stored));

    // Mode-1 seeds hold index and record headers in clear: taking them out of a real file and
    // back must give the file again, or the seeds would hold nothing the loader can use.
    {
        TQuillrand(pak).CreateFile(16, kFuzzPakPassword);
        TQuillrand library(pak);
        library.InputPassWord(kFuzzPakPassword);
        ASSERT_TRUE(library.CheckPassword());
        library.Initialize();
        auto update = library.BeginUpdate(0);
        ASSERT_TRUE(update.Add(*picture, 1, 2, 1, nullptr));
        ASSERT_TRUE(update.Add(*picture, 3, 4, 0, nullptr));
        update.EndUpdate();
        const std::vector<uint8_t> stored = Bytes(pak);
        std::vector<uint8_t> clear = stored;
        CryptPakIndexAndRecords(clear, library.Header(), false);
        EXPECT_NE(clear, stored);
        CryptPakIndexAndRecords(clear, library.Header(), true);
        EXPECT_EQ(clear, stored);
    }

    EXPECT_TRUE(FuzzBmp(picture->SaveToStream()));
    auto rgb = test::PatternDIB(5, 4, 24, 1);
    EXPECT_TRUE(FuzzPng(SavePNGToMemory(*rgb, 6)));
    EXPECT_TRUE(FuzzTga(SaveTGAToMemory(*rgb, tfRunLength)));
    const std::string offsets = "7\r\n-8\r\n";
    EXPECT_TRUE(FuzzPlacement(std::vector<uint8_t>(offsets.begin(), offsets.end())));
}

} // namespace

} // namespace velmora::fuzz
