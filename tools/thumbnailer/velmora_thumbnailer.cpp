// velmora-thumbnailer -s SIZE INPUT OUTPUT: the first image of a sprite library with visible
// pixels, fitted into SIZE x SIZE, as a PNG for file managers. It only looks: libraries are opened
// for reading alone, and nothing (no interrupted save, no attribute) is changed on disk. It gives
// up after 5 seconds and refuses files over 2 GiB at once.

#include "core/file_stream.h"
#include "files/app_dir.h"
#include "files/pak_passwords.h"
#include "files/picture_files.h"
#include "operations/atlas.h"
#include "operations/library_kind.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

using namespace velmora;

constexpr unsigned kTimeLimitSeconds = 5;
constexpr off_t kMaxInputSize = off_t(2) << 30;
constexpr int kMaxSize = 1024;

// The output to remove when time runs out (the signal handler may only use what is set up).
char g_Output[4096];

extern "C" void OnTimeLimit(int) {
    if (g_Output[0] != 0)
        (void)::unlink(g_Output);
    static const char message[] = "velmora-thumbnailer: gave up after 5 s\n";
    (void)!::write(2, message, sizeof message - 1);
    ::_exit(1);
}

// A file:// URI as a path (%XX decoded); anything else as it is.
std::string PathOf(const std::string& input) {
    const std::string scheme = "file://";
    if (input.compare(0, scheme.size(), scheme) != 0)
        return input;
    std::string path;
    size_t i = input.find('/', scheme.size());
    if (i == std::string::npos)
        return input;
    for (; i < input.size(); ++i) {
        if (input[i] == '%' && i + 2 < input.size() && std::isxdigit(uint8_t(input[i + 1])) &&
            std::isxdigit(uint8_t(input[i + 2]))) {
            path += char(std::stoi(input.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            path += input[i];
        }
    }
    return path;
}

// The visible part of the first image that has one, as 32-bit pixels with alpha.
TDIB FirstVisibleImage(TGameImages& library) {
    for (int i = 0; i < library.ImageCount(); ++i) {
        const std::optional<TImageDescription> d = library.Describe(i, false);
        if (d && d->Empty)
            continue;
        int x = 0, y = 0;
        std::unique_ptr<TPicture> picture;
        try {
            picture = library.Get(i, x, y);
        } catch (const std::exception&) {
            continue; // a damaged image
        }
        if (!picture || picture->Width() * int64_t(picture->Height()) <= 4)
            continue;
        const TDIB pixels = AtlasPixels(*picture);
        int left = pixels.Width(), right = -1, top = pixels.Height(), bottom = -1;
        for (int row = 0; row < pixels.Height(); ++row) {
            const uint8_t* p = pixels.ScanLine(row);
            for (int col = 0; col < pixels.Width(); ++col)
                if (p[size_t(col) * 4 + 3] != 0) {
                    left = std::min(left, col);
                    right = std::max(right, col);
                    top = std::min(top, row);
                    bottom = row;
                }
        }
        if (right < 0)
            continue;
        // Only the visible pixels: a sprite drawn small on a wide transparent margin still fills
        // the thumbnail.
        TDIB visible;
        visible.SetPixelFormat(MakePixelFormat(8, 8, 8));
        visible.SetSize(right - left + 1, bottom - top + 1, 32);
        for (int row = top; row <= bottom; ++row)
            std::memcpy(visible.ScanLine(row - top), pixels.ScanLine(row) + size_t(left) * 4,
                        size_t(visible.Width()) * 4);
        return visible;
    }
    return TDIB();
}

// Fitted into size x size: smaller pictures grow by a whole factor (pixel art stays sharp),
// larger ones shrink keeping their aspect ratio.
TDIB Fitted(const TDIB& picture, int size) {
    const int w = picture.Width(), h = picture.Height();
    int tw = w, th = h;
    if (w <= size && h <= size) {
        const int factor = std::max(1, std::min(size / w, size / h));
        tw = w * factor;
        th = h * factor;
    } else {
        tw = th = size;
        FitToBox(w, h, tw, th);
        tw = std::max(tw, 1);
        th = std::max(th, 1);
    }
    TDIB out;
    out.SetPixelFormat(MakePixelFormat(8, 8, 8));
    out.SetSize(tw, th, 32);
    for (int y = 0; y < th; ++y) {
        const auto* source =
            reinterpret_cast<const uint32_t*>(picture.ScanLine(int(int64_t(y) * h / th)));
        auto* row = reinterpret_cast<uint32_t*>(out.ScanLine(y));
        for (int x = 0; x < tw; ++x)
            row[x] = source[int64_t(x) * w / tw];
    }
    return out;
}

int Usage() {
    std::fprintf(stderr, "usage: velmora-thumbnailer -s SIZE INPUT OUTPUT\n");
    return 2;
}

int Run(int argc, char* argv[]) {
    if (argc != 5 || std::strcmp(argv[1], "-s") != 0)
        return Usage();
    char* end = nullptr;
    const long size = std::strtol(argv[2], &end, 10);
    if (!end || *end != 0 || size < 1 || size > kMaxSize)
        return Usage();
    const std::string input = PathOf(argv[3]);
    const std::string output = argv[4];
    if (output.size() >= sizeof g_Output)
        return Usage();

    struct stat st {};
    if (::stat(input.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fprintf(stderr, "velmora-thumbnailer: %s: not a file\n", input.c_str());
        return 1;
    }
    if (st.st_size > kMaxInputSize) {
        std::fprintf(stderr, "velmora-thumbnailer: %s: larger than 2 GiB\n", input.c_str());
        return 1;
    }
    std::memcpy(g_Output, output.c_str(), output.size() + 1);
    std::signal(SIGALRM, OnTimeLimit);
    ::alarm(kTimeLimitSeconds);

    SetLookOnlyProcess();
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    g_AppDir = FindAppDir(ec ? std::string(argv[0]) : exe.string());
    LoadPakPasswords();
    TOpenResult opened = OpenLibraryFile(input);
    if (!opened.Opened()) {
        std::fprintf(stderr, "velmora-thumbnailer: %s: %s\n", input.c_str(), opened.Error.c_str());
        return 1;
    }
    // A save cut short leaves files that may be half old, half new until a program that edits
    // settles them: no picture of that.
    if (const std::string problem = opened.Library->RecoveryProblem(); !problem.empty()) {
        std::fprintf(stderr, "velmora-thumbnailer: %s: %s\n", input.c_str(), problem.c_str());
        return 1;
    }
    const TDIB first = FirstVisibleImage(*opened.Library);
    if (first.Empty()) {
        std::fprintf(stderr, "velmora-thumbnailer: %s: no image with visible pixels\n",
                     input.c_str());
        return 1;
    }
    if (!SavePicture(output, Fitted(first, int(size)), ifPNG)) {
        std::fprintf(stderr, "velmora-thumbnailer: %s: cannot be written\n", output.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    velmora::IgnoreFileSizeSignal();
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora-thumbnailer: %s\n", e.what());
        return 1;
    }
}
