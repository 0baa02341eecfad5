// One fuzz target: VELMORA_FUZZ_FUNCTION names the reader function of fuzz_targets.h. Linked
// with libFuzzer it is the fuzzer; linked with replay_main.cpp it replays saved inputs.

#include "fuzz/fuzz_targets.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)velmora::fuzz::VELMORA_FUZZ_FUNCTION(std::span<const uint8_t>(data, size));
    return 0;
}
