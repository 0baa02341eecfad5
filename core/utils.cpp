#include "core/utils.h"

#include "core/dib_pixels.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace velmora {

namespace {

char FoldCase(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// Start of the file-name part: after the last folder separator. Both '/' and '\' separate, so
// that paths written the Windows way (as in the library's own texts) split the same.
size_t FileNameStart(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i)
        if (IsSeparator(path[i - 1]))
            return i;
    return 0;
}

size_t FindNoCase(const std::string& hay, const std::string& needle) {
    if (needle.empty() || needle.size() > hay.size())
        return std::string::npos;
    for (size_t i = 0; i + needle.size() <= hay.size(); ++i) {
        size_t k = 0;
        while (k < needle.size() && FoldCase(hay[i + k]) == FoldCase(needle[k]))
            ++k;
        if (k == needle.size())
            return i;
    }
    return std::string::npos;
}

constexpr size_t kSplitTokenLimit = 204799;

} // namespace

std::string ExtractFileName(const std::string& Path) {
    return Path.substr(FileNameStart(Path));
}

std::string ExtractFilePath(const std::string& Path) {
    return Path.substr(0, FileNameStart(Path));
}

std::string ExtractFileExt(const std::string& Path) {
    size_t start = FileNameStart(Path);
    size_t dot = Path.find_last_of('.');
    if (dot == std::string::npos || dot < start)
        return std::string();
    return Path.substr(dot);
}

std::string ChangeFileExt(const std::string& Path, const std::string& Ext) {
    size_t start = FileNameStart(Path);
    size_t dot = Path.find_last_of('.');
    if (dot == std::string::npos || dot < start)
        return Path + Ext;
    return Path.substr(0, dot) + Ext;
}

std::string FileNameWithoutExt(const std::string& Path) {
    std::string name = ExtractFileName(Path);
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos)
        return name;
    std::string ext = name.substr(dot);
    size_t at = FindNoCase(name, ext);
    return name.substr(0, at == std::string::npos ? dot : at);
}

int32_t TextToInt(const std::string& Str, int32_t Default) {
    if (Str.empty())
        return Default;
    char first = Str[0];
    if (!((first >= '0' && first <= '9') || first == '+' || first == '-'))
        return Default;
    size_t i = (first == '+' || first == '-') ? 1 : 0;
    if (i == Str.size())
        return Default;
    // Decimal digits only; the value must fit a signed 64-bit integer.
    uint64_t magnitude = 0;
    const uint64_t limit = first == '-' ? uint64_t(1) << 63 : (uint64_t(1) << 63) - 1;
    for (; i < Str.size(); ++i) {
        char c = Str[i];
        if (c < '0' || c > '9')
            return Default;
        uint64_t digit = uint64_t(c - '0');
        if (magnitude > (limit - digit) / 10)
            return Default;
        magnitude = magnitude * 10 + digit;
    }
    uint64_t value = first == '-' ? uint64_t(0) - magnitude : magnitude;
    return int32_t(uint32_t(value)); // the low 32 bits
}

std::string SplitToken(const std::string& Str, std::string& Dest, const std::string& Dividers) {
    Dest.clear();
    if (Str.size() >= kSplitTokenLimit)
        return std::string();
    auto isDivider = [&](char c) { return Dividers.find(c) != std::string::npos; };
    size_t i = 0;
    while (i < Str.size() && isDivider(Str[i]))
        ++i;
    if (i == Str.size())
        return std::string();
    size_t start = i;
    while (i < Str.size() && !isDivider(Str[i]))
        ++i;
    Dest = Str.substr(start, i - start);
    if (i == Str.size())
        return std::string();
    return Str.substr(i + 1);
}

bool SameTextPrefix(const std::string& Str1, const std::string& Str2, int N) {
    if (N <= 0 || Str1.size() < size_t(N) || Str2.size() < size_t(N))
        return false;
    for (int i = 0; i < N; ++i)
        if (FoldCase(Str1[size_t(i)]) != FoldCase(Str2[size_t(i)]))
            return false;
    return true;
}

std::string BoolText(bool Value) {
    return Value ? "TRUE" : "FALSE";
}

int32_t MinInt(int32_t A, int32_t B) {
    return A < B ? A : B;
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && (a.empty() || SameTextPrefix(a, b, int(a.size())));
}

std::string UpperCase(const std::string& s) {
    std::string r = s;
    for (char& c : r)
        c = FoldCase(c);
    return r;
}

std::unique_ptr<TDIB> CopyBitmapHandle(const TDIB& Bitmap) {
    return std::make_unique<TDIB>(Bitmap);
}

void BlitTransparent(TDIB& DC, int X, int Y, const TDIB& Bitmap, TColor TransparentColor) {
    if (DC.Empty() || Bitmap.Empty())
        return;
    // The clipped rectangle of DC that the bitmap covers.
    int x0 = std::max(0, X), y0 = std::max(0, Y);
    int x1 = int(std::min<int64_t>(DC.Width(), int64_t(X) + Bitmap.Width()));
    int y1 = int(std::min<int64_t>(DC.Height(), int64_t(Y) + Bitmap.Height()));
    if (x0 >= x1 || y0 >= y1)
        return;
    TransparentColor &= 0xFFFFFF;
    const bool rawCopy = DC.BitCount() == 32 && Bitmap.BitCount() == 32;
    TPixelReader reader(Bitmap);
    TPixelWriter writer(DC);
    for (int y = y0; y < y1; ++y) {
        uint8_t* dst = DC.ScanLine(y); // first: it may give DC its own storage
        const uint8_t* src = Bitmap.ScanLine(y - Y);
        for (int x = x0; x < x1; ++x) {
            int sx = x - X;
            TColor c = reader.Read(src, sx);
            if (c == TransparentColor)
                continue;
            if (rawCopy)
                std::memcpy(dst + size_t(x) * 4, src + size_t(sx) * 4, 4);
            else
                writer.Write(dst, x, c);
        }
    }
}

} // namespace velmora
