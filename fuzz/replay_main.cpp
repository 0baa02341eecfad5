// A plain program around a fuzz target: runs it once on every file given (folders are entered),
// so that a crash found by the fuzzer can be replayed under a debugger or any sanitizer.

#include "core/file_stream.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int Replay(const std::filesystem::path& path) {
    const std::vector<uint8_t> bytes = velmora::TFileStream::ReadAll(path.string());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE|FOLDER...\n", argv[0]);
        return 2;
    }
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
                if (entry.is_regular_file())
                    count += Replay(entry.path());
        } else {
            count += Replay(path);
        }
    }
    std::printf("replayed %d inputs\n", count);
    return 0;
}
