#pragma once

#include <cstdint>
#include <string>

namespace velmora::cli {

// Prints one failure line on stderr: "velmora-cli: <file>: <reason>" (without a file when empty).
void Fail(const std::string& file, const std::string& reason);

// Text as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);

// A progress bar on stderr, drawn only when stderr is a terminal; finished on destruction.
class TProgressBar {
public:
    explicit TProgressBar(std::string label);
    TProgressBar(const TProgressBar&) = delete;
    TProgressBar& operator=(const TProgressBar&) = delete;
    ~TProgressBar();

    void Update(int done, int total);
    void Finish();

private:
    std::string FLabel;
    bool FEnabled = false;
    bool FDrawn = false;
    int FLastPermille = -1;
};

} // namespace velmora::cli
