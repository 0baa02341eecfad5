#pragma once

#include "core/dib.h"
#include "core/game_images.h"
#include "core/picture.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora::cli_test {

// A fresh folder under the system's temporary folder, removed with everything in it on
// destruction.
class TCliTempDir {
public:
    TCliTempDir();
    TCliTempDir(const TCliTempDir&) = delete;
    TCliTempDir& operator=(const TCliTempDir&) = delete;
    ~TCliTempDir();
    const std::string& Path() const { return FPath; }
    // Path + "/" + name.
    std::string operator/(const std::string& name) const { return FPath + "/" + name; }

private:
    std::string FPath;
};

// What one run of the real velmora-cli binary gave.
struct TCliRun {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

// Runs velmora-cli (VELMORA_CLI_PATH) with the arguments, its program folder (VELMORA_HOME) set to
// `home`, stdout and stderr captured (so stderr is not a terminal).
TCliRun RunCli(const std::vector<std::string>& args, const std::string& home);

// A 24-bit picture whose pixels differ from one another (and from black) by a seed.
TDIB PatternPicture(int width, int height, uint32_t seed);

// Colour and alpha of every pixel of a library picture, top row first, as 0xAARRGGBB; pictures
// without alpha give alpha 255.
std::vector<uint32_t> PictureArgb(const TPicture& picture);

// Opens a library (Pak with the password) in the test process; fails the test when it does not.
std::unique_ptr<TGameImages> OpenForTest(const std::string& path,
                                         const std::string& password = "quillrand");

// The number of lines of text (line ends counted).
int LineCount(const std::string& text);

} // namespace velmora::cli_test
