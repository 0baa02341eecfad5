// Writes the seed corpora of the fuzz targets: small files of every kind made by the program's own
// writers (WIS, which the program only reads, by the tests' writer). Usage: make_seeds FOLDER;
// one sub-folder per target.

#include "app/recent_files.h"
#include "core/checked.h"
#include "core/dib.h"
#include "core/file_stream.h"
#include "core/palette.h"
#include "core/png_picture.h"
#include "files/picture_files.h"
#include "files/text_file.h"
#include "formats/pak.h"
#include "formats/pak_header.h"
#include "formats/wil.h"
#include "formats/wzl.h"
#include "fuzz/fuzz_targets.h"
#include "protection/cipher.h"
#include "support/pak_support.h"
#include "tools/wis_writer/wis_writer.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

using namespace velmora;

namespace {

std::string g_Out;
int g_Count = 0;

void Seed(const std::string& target, const std::string& name, std::span<const uint8_t> bytes) {
    std::filesystem::create_directories(g_Out + "/" + target);
    TFileStream file(g_Out + "/" + target + "/" + name, TFileStream::fmCreate);
    file.Write(bytes);
    ++g_Count;
}

std::vector<uint8_t> Bytes(const std::string& path) {
    return TFileStream::ReadAll(path);
}

// Adds pictures of several sizes, offsets and compressions (and an alpha plane where one is kept).
void Fill(TGameImages& library, int bitCount) {
    auto update = library.BeginUpdate(0);
    const int sides[] = {1, 3, 7, 16};
    for (int i = 0; i < 4; ++i) {
        auto picture = test::MakePatternDIB(sides[i], sides[(i + 1) % 4] + 1, bitCount, i);
        auto alpha = test::MakeAlphaDIB(picture->Width(), picture->Height(), i);
        update.Add(*picture, i * 3 - 4, 5 - i, uint8_t(i % 3), i == 2 ? alpha.get() : nullptr);
    }
    update.EndUpdate();
}

void LibrarySeeds(const std::string& work) {
    for (int bits : {8, 16, 32}) {
        const std::string wil = work + "/s" + std::to_string(bits) + ".wil";
        TWil(wil).CreateFile(uint8_t(bits), "");
        {
            TWil library(wil);
            library.Initialize();
            Fill(library, bits);
        }
        Seed("wil", "wil" + std::to_string(bits),
             fuzz::JoinPair(Bytes(wil), Bytes(work + "/s" + std::to_string(bits) + ".WIX")));
    }
    for (int bits : {8, 16}) {
        const std::string wzl = work + "/z" + std::to_string(bits) + ".wzl";
        TWzl(wzl).CreateFile(uint8_t(bits), "");
        {
            TWzl library(wzl);
            library.Initialize();
            Fill(library, bits);
        }
        Seed("wzl", "wzl" + std::to_string(bits),
             fuzz::JoinPair(Bytes(wzl), Bytes(work + "/z" + std::to_string(bits) + ".wzx")));
    }
    {
        TWisWriter writer;
        std::vector<uint8_t> pixels(12 * 5);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = uint8_t(i / 7);
        writer.AddImage(12, 5, 1, -2, pixels, false);
        writer.AddImage(12, 5, -3, 4, pixels, true);
        writer.AddImage(3, 20, 0, 0, std::span(pixels).first(60), true);
        Seed("wis", "wis", writer.Bytes());
    }
    for (int layout : {2, 0}) {
        const std::string pak = work + "/p" + std::to_string(layout) + ".pak";
        if (layout == 2) {
            TQuillrand(pak).CreateFile(16, fuzz::kFuzzPakPassword);
        } else {
            test::TPakTestFile fileLayout;
            fileLayout.bfType = 0;
            fileLayout.Password = fuzz::kFuzzPakPassword;
            test::WritePakBytes(pak, test::BuildPakFile(fileLayout));
        }
        {
            TQuillrand library(pak);
            library.InputPassWord(fuzz::kFuzzPakPassword);
            if (!library.CheckPassword())
                throw std::runtime_error(pak + ": the password does not fit");
            library.Initialize();
            Fill(library, 16);
        }
        const std::vector<uint8_t> file = Bytes(pak);
        std::vector<uint8_t> stored{0};
        stored.insert(stored.end(), file.begin(), file.end());
        Seed("pak", "pak_stored_" + std::to_string(layout), stored);
        // The same file with header, index and record headers in clear (mode 1).
        const std::vector<uint8_t> plain = DecryptText(
            std::span(file).subspan(size_t(PakHeaderOffset(2)), kPakHeaderSize), HeaderKeyText(2));
        TPakFileHeader header;
        std::copy_n(plain.begin(), kPakHeaderSize, header.Bytes.begin());
        std::vector<uint8_t> clear = file;
        fuzz::CryptPakIndexAndRecords(clear, header, false);
        std::vector<uint8_t> open{1, 2};
        open.insert(open.end(), plain.begin(), plain.begin() + kPakHeaderSize);
        open.insert(open.end(), clear.begin() + PakDataBase(2), clear.end());
        Seed("pak", "pak_plain_" + std::to_string(layout), open);
    }
}

void PictureSeeds() {
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        auto dib = test::MakePatternDIB(5, 3, bits, uint32_t(bits));
        Seed("bmp", "bmp" + std::to_string(bits), dib->SaveToStream());
    }
    auto rgb = test::MakePatternDIB(6, 4, 24, 1);
    auto rgba = test::MakePatternDIB(6, 4, 32, 2);
    rgba->AssignAlphaChannel(*test::MakeAlphaDIB(6, 4, 9));
    auto indexed = test::MakePatternDIB(6, 4, 8, 3);
    Seed("png", "rgb", SavePNGToMemory(*rgb, 9));
    Seed("png", "rgba", SavePNGToMemory(*rgba, 1));
    Seed("png", "palette", SavePNGToMemory(*indexed, 6));
    Seed("tga", "rgb_rle", SaveTGAToMemory(*rgb, tfRunLength));
    Seed("tga", "rgba_rle", SaveTGAToMemory(*rgba, tfRunLength));
    Seed("tga", "rgb_raw", SaveTGAToMemory(*rgb, tfTopFirst | tfRightToLeft));
}

void TextSeeds(const std::string& work) {
    const std::vector<std::string> passwords = {"Data/a.Pak|secret|x", "1 skipped", "", "b.pak",
                                                "  c.Data |密码"};
    const std::pair<const char*, TTextEncoding> encodings[] = {
        {"utf8", TTextEncoding::teUTF8},
        {"utf8bom", TTextEncoding::teUTF8BOM},
        {"utf16le", TTextEncoding::teUTF16LE},
        {"gbk", TTextEncoding::teGBK}};
    for (const auto& [name, encoding] : encodings) {
        WriteTextFile(work + "/Pak.txt", passwords, encoding);
        Seed("pak_list", name, Bytes(work + "/Pak.txt"));
    }
    WriteTextFile(work + "/offset.txt", {"-12", "345"}, TTextEncoding::teUTF8);
    Seed("placement", "offset", Bytes(work + "/offset.txt"));
    SaveRecentFileList(work + "/Config.ini", {work + "/Pak.txt", "/no/such/file.wil", "/tmp"});
    Seed("recent_files", "config", Bytes(work + "/Config.ini"));
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    g_Out = argv[1];
    const std::string work = g_Out + "/.work";
    std::filesystem::create_directories(work);
    try {
        LibrarySeeds(work);
        PictureSeeds();
        TextSeeds(work);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_seeds: %s\n", e.what());
        return 1;
    }
    std::filesystem::remove_all(work);
    std::printf("%d seeds in %s\n", g_Count, g_Out.c_str());
    return 0;
}
