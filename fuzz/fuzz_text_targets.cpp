// The targets of the program's small text files: the password list, offset files and the
// recent-file list. Kept apart from the library targets because the password list's header and
// the cipher's password header both declare the default password.

#include "app/recent_files.h"
#include "core/file_stream.h"
#include "files/pak_passwords.h"
#include "files/placements.h"
#include "fuzz/fuzz_targets.h"

#include <sys/stat.h>

namespace velmora::fuzz {

namespace {

void WriteFile(const std::string& name, std::span<const uint8_t> bytes) {
    TFileStream file(name, TFileStream::fmCreate);
    file.Write(bytes);
}

template <typename TBody> bool Guarded(TBody body) {
    try {
        return body();
    } catch (const EFileError&) {
        return false;
    }
}

} // namespace

bool FuzzPakList(std::span<const uint8_t> data) {
    return Guarded([&] {
        const std::string path = FuzzFolder() + "Pak.txt";
        WriteFile(path, data);
        LoadPakPasswords(path);
        (void)FindPakPassword("a.pak");
        return !g_PakPasswords.empty();
    });
}

bool FuzzPlacement(std::span<const uint8_t> data) {
    return Guarded([&] {
        const std::string folder = FuzzFolder() + kPlacementsFolder;
        ::mkdir(folder.c_str(), 0755);
        WriteFile(folder + "/a.txt", data);
        const TPoint point = LoadPlacement(FuzzFolder() + "a.png");
        return point.X != 0 || point.Y != 0;
    });
}

bool FuzzRecentFiles(std::span<const uint8_t> data) {
    return Guarded([&] {
        const std::string path = FuzzFolder() + kRecentFilesName;
        WriteFile(path, data);
        std::vector<std::string> list = LoadRecentFileList(path);
        (void)PutRecentFirst(list, FuzzFolder() + "a.wil");
        return !list.empty();
    });
}

} // namespace velmora::fuzz
