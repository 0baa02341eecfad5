#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// Encoding of one of the program's text files. In memory all text is UTF-8.
enum class TTextEncoding : uint8_t {
    teUTF8,    // no byte-order mark
    teUTF8BOM, // EF BB BF
    teUTF16LE, // FF FE
    teUTF16BE, // FE FF
    teGBK,     // the Windows Chinese code page (CP936)
};

// Decides the encoding of file contents: a byte-order mark selects UTF-8 or UTF-16, else valid
// UTF-8 is UTF-8, else GBK.
TTextEncoding DetectTextEncoding(std::span<const uint8_t> data);
// File contents as UTF-8 text (byte-order mark removed). Bytes that do not decode become U+FFFD.
std::string DecodeText(std::span<const uint8_t> data, TTextEncoding encoding);
// UTF-8 text in the encoding, with a byte-order mark where the encoding has one. False when a
// character has no GBK code (out is then unspecified).
bool EncodeText(const std::string& text, TTextEncoding encoding, std::vector<uint8_t>& out);

// The bytes of a text file of these lines, each ending in CR LF, in the encoding (with its
// byte-order mark); used is the encoding written: UTF-8 when the text has no GBK code.
std::vector<uint8_t> TextFileBytes(const std::vector<std::string>& lines, TTextEncoding encoding,
                                   TTextEncoding& used);

// Splits text into lines at CR LF, LF or CR; a final line end does not start another line.
std::vector<std::string> SplitTextLines(const std::string& text);

// Reads the lines of a text file. False when the file does not exist or cannot be read (lines is
// then empty). encoding, when given, receives the encoding found.
bool ReadTextFile(const std::string& fileName, std::vector<std::string>& lines,
                  TTextEncoding* encoding = nullptr);

// Writes lines, each ending in CR LF, replacing the file crash-safely (a new file renamed over the
// old one, see TFileReplacement), in the given encoding. Text that has no GBK code is written as
// UTF-8 instead so nothing is lost. A file that may not be written is refused. Raises EFileError.
void WriteTextFile(const std::string& fileName, const std::vector<std::string>& lines,
                   TTextEncoding encoding);
// As WriteTextFile, in the encoding the existing file has (UTF-8 without a mark for a new file).
void RewriteTextFile(const std::string& fileName, const std::vector<std::string>& lines);
// Appends one line ending in CR LF in the encoding the file has (created as UTF-8 when missing).
// Raises EFileError.
void AppendTextLine(const std::string& fileName, const std::string& line);

} // namespace velmora
