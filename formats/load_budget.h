#pragma once

#include <cstdint>

namespace velmora {

// Caps what opening a possibly damaged library may allocate for its records in total. An intact
// file needs at most its own size; the allowance above that lets a truncated last record still
// load (its missing part reads as zero) while a damaged index that names the same huge record
// thousands of times, or a header that declares gigabytes, cannot exhaust memory.
class TLoadBudget {
public:
    explicit TLoadBudget(uint64_t FileSize) : FRemaining(FileSize + FileSize / 4 + kAllowance) {}

    // Reserves n bytes; false (nothing reserved) when the budget cannot cover them.
    bool Take(uint64_t n) {
        if (n > FRemaining)
            return false;
        FRemaining -= n;
        return true;
    }

private:
    static constexpr uint64_t kAllowance = 1u << 20;
    uint64_t FRemaining;
};

} // namespace velmora
