#pragma once

// Layout of WZL data files and their .wzx index files.

namespace velmora::wzl {

constexpr int kFileHeaderSize = 64;
constexpr int kIndexHeaderSize = 48;
// Both headers hold the image count here.
constexpr int kImageCountAt = 44;
// Offsets below this mark empty slots.
constexpr int kFirstRecordAt = 64;
constexpr int kTitleLength = 19;

} // namespace velmora::wzl
