// velmora-demo: writes a program folder of demo libraries drawn by code, with a recent-file list
// and a password list, so that the editor and velmora-cli have something to show.

#include "tools/demo/demo_folder.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char* argv[]) {
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::fprintf(argc == 2 ? stdout : stderr,
                     "usage: velmora-demo FOLDER\n"
                     "Writes demo libraries (WIL at 8 and 16 bits, WZL with alpha, two Pak\n"
                     "libraries, WIS) into FOLDER/Data, and FOLDER/Config.ini and FOLDER/Pak.txt\n"
                     "for running the editor with VELMORA_HOME=FOLDER.\n");
        return argc == 2 ? 0 : 2;
    }
    try {
        for (const velmora::demo::TDemoLibrary& library : velmora::demo::WriteDemoFolder(argv[1]))
            std::printf("%-40s %3d images  %s\n", library.FileName.c_str(), library.ImageCount,
                        library.Description.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora-demo: %s\n", e.what());
        return 1;
    }
    return 0;
}
