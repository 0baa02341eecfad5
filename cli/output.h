#pragma once

#include <cstdint>
#include <string>

namespace velmora::cli {

// Prints one failure line on stderr: "velmora-cli: <file>: <reason>" (without a file when empty,
// or when the reason starts with it already).
void Fail(const std::string& file, const std::string& reason);

// Text as a JSON string literal, quotes included. Bytes that are not well-formed UTF-8 (a file
// name in another encoding) are written as U+FFFD, so the output is always valid JSON.
std::string JsonString(const std::string& text);
// True when text is well-formed UTF-8.
bool IsUtf8(const std::string& text);
// The JSON members that name a file: "file" and, when its name is not UTF-8, "fileBytes" with
// the name's bytes in hex.
std::string JsonFileFields(const std::string& path);

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
