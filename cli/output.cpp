#include "cli/output.h"

#include "files/json.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace velmora::cli {

void Fail(const std::string& file, const std::string& reason) {
    // A reason that names the file already (a file-system error of it) is not prefixed twice.
    if (file.empty() || reason.starts_with(file + ": "))
        std::fprintf(stderr, "velmora-cli: %s\n", reason.c_str());
    else
        std::fprintf(stderr, "velmora-cli: %s: %s\n", file.c_str(), reason.c_str());
}

namespace {

// The length of the well-formed UTF-8 sequence at text[i] (no overlong forms, no surrogates, at
// most U+10FFFF), or 0 when none starts there.
size_t Utf8SequenceAt(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80)
        return 1;
    size_t n = 0;
    uint32_t cp = 0;
    if ((c & 0xE0) == 0xC0) {
        n = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (text.size() - i < n)
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

} // namespace

bool IsUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const size_t n = Utf8SequenceAt(text, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string JsonFileFields(const std::string& path) {
    std::string out = "\"file\": " + JsonString(path);
    if (!IsUtf8(path)) {
        static constexpr char kHex[] = "0123456789abcdef";
        std::string hex;
        for (unsigned char c : path) {
            hex += kHex[c >> 4];
            hex += kHex[c & 15];
        }
        out += ", \"fileBytes\": \"" + hex + "\"";
    }
    return out;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const size_t n = Utf8SequenceAt(text, i);
        if (n == 0) {
            // A byte that is not part of well-formed UTF-8 is written as U+FFFD.
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (n > 1) {
            out.append(text, i, n);
            i += n;
            continue;
        }
        AppendJsonEscaped(out, text[i++]);
    }
    return out + "\"";
}

TProgressBar::TProgressBar(std::string label)
    : FLabel(std::move(label)), FEnabled(isatty(STDERR_FILENO) == 1) {}

TProgressBar::~TProgressBar() {
    Finish();
}

void TProgressBar::Update(int done, int total) {
    if (!FEnabled || total <= 0)
        return;
    const int permille = int(int64_t(done) * 1000 / total);
    if (permille == FLastPermille)
        return;
    FLastPermille = permille;
    constexpr int width = 30;
    const int filled = permille * width / 1000;
    std::string bar(size_t(filled), '#');
    bar.append(size_t(width - filled), ' ');
    std::fprintf(stderr, "\r%s [%s] %3d%% %d/%d", FLabel.c_str(), bar.c_str(), permille / 10, done,
                 total);
    std::fflush(stderr);
    FDrawn = true;
}

void TProgressBar::Finish() {
    if (FDrawn) {
        std::fprintf(stderr, "\n");
        FDrawn = false;
    }
}

} // namespace velmora::cli
