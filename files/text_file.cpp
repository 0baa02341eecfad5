#include "files/text_file.h"

#include "core/code_page.h"
#include "core/file_stream.h"
#include "core/file_ops.h"
#include "core/file_replacement.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace velmora {

namespace {

constexpr uint8_t kUtf8Bom[] = {0xEF, 0xBB, 0xBF};
constexpr const char* kReplacement = "\xEF\xBF\xBD";

bool StartsWith(std::span<const uint8_t> data, std::span<const uint8_t> prefix) {
    return data.size() >= prefix.size() &&
           std::memcmp(data.data(), prefix.data(), prefix.size()) == 0;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::string DecodeUtf16(std::span<const uint8_t> data, bool bigEndian) {
    std::string out;
    auto unit = [&](size_t i) -> uint32_t {
        return bigEndian ? (uint32_t(data[i]) << 8) | data[i + 1]
                         : (uint32_t(data[i + 1]) << 8) | data[i];
    };
    size_t i = 0;
    while (i + 1 < data.size()) {
        const uint32_t u = unit(i);
        i += 2;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < data.size()) {
            const uint32_t v = unit(i);
            if (v >= 0xDC00 && v <= 0xDFFF) {
                i += 2;
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF)
            out += kReplacement;
        else
            AppendUtf8(out, u);
    }
    if (i < data.size())
        out += kReplacement; // an odd trailing byte
    return out;
}

// Code points of well-formed UTF-8 text (the text in memory is produced by DecodeText or by the
// program itself; anything malformed becomes U+FFFD).
std::vector<uint32_t> CodePoints(const std::string& text) {
    std::vector<uint32_t> cps;
    const std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    for (size_t i = 0; i < data.size();) {
        const size_t n = Utf8SequenceLength(data, i);
        if (n == 0) {
            cps.push_back(0xFFFD);
            ++i;
            continue;
        }
        uint32_t cp = n == 1 ? data[i] : data[i] & (0x7F >> n);
        for (size_t k = 1; k < n; ++k)
            cp = (cp << 6) | (data[i + k] & 0x3F);
        cps.push_back(cp);
        i += n;
    }
    return cps;
}

void AppendUtf16(std::vector<uint8_t>& out, uint32_t cp, bool bigEndian) {
    auto put = [&](uint32_t u) {
        if (bigEndian) {
            out.push_back(uint8_t(u >> 8));
            out.push_back(uint8_t(u));
        } else {
            out.push_back(uint8_t(u));
            out.push_back(uint8_t(u >> 8));
        }
    };
    if (cp >= 0x10000) {
        cp -= 0x10000;
        put(0xD800 + (cp >> 10));
        put(0xDC00 + (cp & 0x3FF));
    } else {
        put(cp);
    }
}

} // namespace

std::vector<uint8_t> TextFileBytes(const std::vector<std::string>& lines, TTextEncoding encoding,
                                   TTextEncoding& used) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    std::vector<uint8_t> bytes;
    used = encoding;
    if (!EncodeText(text, encoding, bytes)) {
        used = TTextEncoding::teUTF8;
        bytes.clear();
        EncodeText(text, used, bytes);
    }
    return bytes;
}

TTextEncoding DetectTextEncoding(std::span<const uint8_t> data) {
    static constexpr uint8_t le[] = {0xFF, 0xFE};
    static constexpr uint8_t be[] = {0xFE, 0xFF};
    if (StartsWith(data, kUtf8Bom))
        return TTextEncoding::teUTF8BOM;
    if (StartsWith(data, le))
        return TTextEncoding::teUTF16LE;
    if (StartsWith(data, be))
        return TTextEncoding::teUTF16BE;
    return IsValidUtf8(data) ? TTextEncoding::teUTF8 : TTextEncoding::teGBK;
}

std::string DecodeText(std::span<const uint8_t> data, TTextEncoding encoding) {
    switch (encoding) {
    case TTextEncoding::teUTF8BOM:
        if (StartsWith(data, kUtf8Bom))
            data = data.subspan(3);
        return SanitizeUtf8(data);
    case TTextEncoding::teUTF16LE:
    case TTextEncoding::teUTF16BE: {
        const bool bigEndian = encoding == TTextEncoding::teUTF16BE;
        const uint8_t bom[] = {uint8_t(bigEndian ? 0xFE : 0xFF), uint8_t(bigEndian ? 0xFF : 0xFE)};
        if (StartsWith(data, bom))
            data = data.subspan(2);
        return DecodeUtf16(data, bigEndian);
    }
    case TTextEncoding::teGBK:
        return CodePageToUtf8(data);
    case TTextEncoding::teUTF8:
        break;
    }
    return SanitizeUtf8(data);
}

bool EncodeText(const std::string& text, TTextEncoding encoding, std::vector<uint8_t>& out) {
    out.clear();
    switch (encoding) {
    case TTextEncoding::teUTF8BOM:
        out.assign(std::begin(kUtf8Bom), std::end(kUtf8Bom));
        [[fallthrough]];
    case TTextEncoding::teUTF8:
        out.insert(out.end(), text.begin(), text.end());
        return true;
    case TTextEncoding::teUTF16LE:
    case TTextEncoding::teUTF16BE: {
        const bool bigEndian = encoding == TTextEncoding::teUTF16BE;
        AppendUtf16(out, 0xFEFF, bigEndian);
        for (uint32_t cp : CodePoints(text))
            AppendUtf16(out, cp, bigEndian);
        return true;
    }
    case TTextEncoding::teGBK: {
        const std::optional<std::string> bytes = Utf8ToCodePage(text);
        if (!bytes)
            return false;
        out.assign(bytes->begin(), bytes->end());
        return true;
    }
    }
    return false;
}

std::vector<std::string> SplitTextLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

bool ReadTextFile(const std::string& fileName, std::vector<std::string>& lines,
                  TTextEncoding* encoding) {
    lines.clear();
    if (!FileExists(fileName))
        return false;
    std::vector<uint8_t> data;
    try {
        data = TFileStream::ReadAll(fileName);
    } catch (const EFileError&) {
        return false;
    }
    const TTextEncoding found = DetectTextEncoding(data);
    if (encoding)
        *encoding = found;
    lines = SplitTextLines(DecodeText(data, found));
    return true;
}

void WriteTextFile(const std::string& fileName, const std::vector<std::string>& lines,
                   TTextEncoding encoding) {
    TTextEncoding used;
    const std::vector<uint8_t> bytes = TextFileBytes(lines, encoding, used);
    // A file that may not be written is refused as writing it in place would be; otherwise the
    // new text is written beside it and renamed over it, so that a crash keeps the old text.
    const std::string target = ResolveLinks(fileName);
    if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0)
        throw EFileError(fileName, std::strerror(errno));
    TFileReplacement replacement({target});
    replacement.Stream(0).Write(bytes);
    replacement.Commit();
}

void RewriteTextFile(const std::string& fileName, const std::vector<std::string>& lines) {
    TTextEncoding encoding = TTextEncoding::teUTF8;
    if (FileExists(fileName)) {
        try {
            encoding = DetectTextEncoding(TFileStream::ReadAll(fileName));
        } catch (const EFileError&) {
            // An unreadable file is replaced as a new one would be.
        }
    }
    WriteTextFile(fileName, lines, encoding);
}

void AppendTextLine(const std::string& fileName, const std::string& line) {
    std::vector<uint8_t> existing;
    int64_t size = 0;
    if (FileExists(fileName)) {
        // The start of the file tells its encoding; a log only grows, so reading all of it on
        // every line would cost more and more. The prefix may end inside a UTF-8 sequence:
        // cutting up to three bytes off its end finds the longest well-formed start.
        const TFileStream file(fileName, TFileStream::fmOpenRead);
        size = file.Size();
        constexpr int64_t kPrefix = 64 * 1024;
        existing.resize(size_t(std::min(size, kPrefix)));
        existing.resize(file.ReadAt(0, existing));
    }
    TTextEncoding encoding = DetectTextEncoding(existing);
    if (encoding == TTextEncoding::teGBK && int64_t(existing.size()) < size) {
        for (size_t cut = 1; cut <= 3 && cut < existing.size(); ++cut) {
            const std::span<const uint8_t> shorter(existing.data(), existing.size() - cut);
            if (IsValidUtf8(shorter)) {
                encoding = TTextEncoding::teUTF8;
                break;
            }
        }
    }
    std::vector<uint8_t> bytes;
    if (!EncodeText(line + "\r\n", encoding, bytes)) {
        encoding = TTextEncoding::teUTF8;
        EncodeText(line + "\r\n", encoding, bytes);
    }
    // Appending must not repeat the byte-order mark.
    size_t skip = 0;
    if (encoding == TTextEncoding::teUTF8BOM)
        skip = 3;
    else if (encoding == TTextEncoding::teUTF16LE || encoding == TTextEncoding::teUTF16BE)
        skip = 2;
    if (existing.empty())
        skip = 0;
    // Opened for appending, so that every line lands at the end as it is then, whoever else
    // (another process, another thread) appends at the same time; one write per line.
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        throw EFileError(fileName, std::strerror(errno));
    const std::span<const uint8_t> out = std::span<const uint8_t>(bytes).subspan(skip);
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            throw EFileError(fileName, std::strerror(error));
        }
        done += size_t(n);
    }
    ::close(fd);
}

} // namespace velmora
