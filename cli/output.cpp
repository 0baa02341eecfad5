#include "cli/output.h"

#include <unistd.h>

#include <cstdio>

namespace velmora::cli {

void Fail(const std::string& file, const std::string& reason) {
    if (file.empty())
        std::fprintf(stderr, "velmora-cli: %s\n", reason.c_str());
    else
        std::fprintf(stderr, "velmora-cli: %s: %s\n", file.c_str(), reason.c_str());
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += char(c);
            }
        }
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
