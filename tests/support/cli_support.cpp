#include "support/cli_support.h"

#include "core/png_picture.h"
#include "operations/library_kind.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace velmora::cli_test {

namespace fs = std::filesystem;

TCliTempDir::TCliTempDir() {
    static std::atomic<int> counter{0};
    const fs::path base =
        fs::temp_directory_path() /
        ("velmora-cli-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(base);
    fs::create_directories(base);
    FPath = base.string();
}

TCliTempDir::~TCliTempDir() {
    std::error_code ec;
    fs::permissions(FPath, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(FPath, ec);
}

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TCliRun RunCli(const std::vector<std::string>& args, const std::string& home) {
    static std::atomic<int> counter{0};
    const std::string stem =
        (fs::temp_directory_path() /
         ("velmora-cli-run-" + std::to_string(getpid()) + "-" + std::to_string(counter++)))
            .string();
    const std::string outPath = stem + ".out";
    const std::string errPath = stem + ".err";
    std::vector<std::string> argv{VELMORA_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (std::string& a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);

    TCliRun run;
    const pid_t pid = fork();
    if (pid == 0) {
        FILE* out = std::freopen(outPath.c_str(), "w", stdout);
        FILE* err = std::freopen(errPath.c_str(), "w", stderr);
        if (!out || !err)
            _exit(127);
        setenv("VELMORA_HOME", home.c_str(), 1);
        execv(cargv[0], cargv.data());
        _exit(127);
    }
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.Exit = WEXITSTATUS(status);
    run.Out = ReadText(outPath);
    run.Err = ReadText(errPath);
    std::error_code ec;
    fs::remove(outPath, ec);
    fs::remove(errPath, ec);
    return run;
}

TDIB PatternPicture(int width, int height, uint32_t seed) {
    TDIB dib;
    dib.SetPixelFormat(MakePixelFormat(8, 8, 8));
    dib.SetSize(width, height, 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t v = (uint32_t(x) * 2654435761u) ^ (uint32_t(y) * 40503u) ^ seed;
            dib.SetPixel(x, y,
                         RGBColor(uint8_t(32 + v % 200), uint8_t(16 + (v >> 8) % 220),
                                  uint8_t(40 + (v >> 16) % 190)));
        }
    return dib;
}

std::vector<uint32_t> PictureArgb(const TPicture& picture) {
    std::vector<uint32_t> argb;
    std::unique_ptr<TDIB> owned;
    const TDIB* dib = picture.AsDIB();
    bool alpha = false;
    if (const TPngPicture* png = picture.AsPng()) {
        owned = png->ToDIBWithAlpha();
        dib = owned.get();
        alpha = png->HasAlpha();
    }
    if (!dib)
        return argb;
    for (int y = 0; y < dib->Height(); ++y)
        for (int x = 0; x < dib->Width(); ++x) {
            const TColor c = dib->PixelColor(x, y);
            const uint32_t a = alpha ? dib->Pixel(x, y) >> 24 : 255;
            argb.push_back(a << 24 | uint32_t(RedOf(c)) << 16 | uint32_t(GreenOf(c)) << 8 |
                           BlueOf(c));
        }
    return argb;
}

std::unique_ptr<TGameImages> OpenForTest(const std::string& path, const std::string& password) {
    TOpenResult opened = OpenLibraryFile(path, password);
    EXPECT_TRUE(opened.Opened()) << path << ": " << opened.Error;
    return std::move(opened.Library);
}

int LineCount(const std::string& text) {
    int lines = 0;
    for (char c : text)
        lines += c == '\n';
    return lines;
}

} // namespace velmora::cli_test
