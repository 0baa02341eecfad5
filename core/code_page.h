#pragma once

// Text in the program's 8-bit code page, CP936 (GBK): the code page passwords are keyed in and
// text files without a byte-order mark may be written in. Text in memory is UTF-8. The
// conversions go through iconv; a system without a CP936 converter converts nothing.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velmora {

// Length of the well-formed UTF-8 sequence at data[i], or 0 when it is not one (overlong forms,
// surrogates and values above U+10FFFF included).
size_t Utf8SequenceLength(std::span<const uint8_t> data, size_t i);
bool IsValidUtf8(std::span<const uint8_t> data);
bool IsValidUtf8(std::string_view text);
// UTF-8 with every byte that starts no well-formed sequence replaced by U+FFFD.
std::string SanitizeUtf8(std::span<const uint8_t> data);

// Whether this system can convert to and from CP936.
bool CodePageAvailable();
// The CP936 bytes of UTF-8 text; none when a character has no CP936 code, when the text is not
// UTF-8 or when there is no converter. Nothing is ever replaced by a substitute character.
std::optional<std::string> Utf8ToCodePage(std::string_view text);
// CP936 bytes as UTF-8; bytes that do not decode become U+FFFD. Without a converter the bytes are
// taken as UTF-8 (SanitizeUtf8).
std::string CodePageToUtf8(std::span<const uint8_t> data);

} // namespace velmora
