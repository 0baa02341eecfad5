#include "core/code_page.h"

#include <cerrno>
#include <iconv.h>

namespace velmora {

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";

// Owns an iconv descriptor between UTF-8 and CP936 (under either of its names).
class TIconv {
public:
    explicit TIconv(bool toCodePage) {
        for (const char* name : {"CP936", "GBK"}) {
            FHandle = toCodePage ? iconv_open(name, "UTF-8") : iconv_open("UTF-8", name);
            if (Valid())
                break;
        }
    }
    ~TIconv() {
        if (Valid())
            iconv_close(FHandle);
    }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;
    bool Valid() const { return FHandle != reinterpret_cast<iconv_t>(-1); }
    iconv_t Handle() const { return FHandle; }

private:
    iconv_t FHandle = reinterpret_cast<iconv_t>(-1);
};

} // namespace

size_t Utf8SequenceLength(std::span<const uint8_t> data, size_t i) {
    const uint8_t c = data[i];
    if (c < 0x80)
        return 1;
    size_t n;
    uint8_t lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0)
            lo = 0xA0;
        else if (c == 0xED)
            hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0)
            lo = 0x90;
        else if (c == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (data.size() - i < n)
        return 0;
    if (data[i + 1] < lo || data[i + 1] > hi)
        return 0;
    for (size_t k = 2; k < n; ++k)
        if ((data[i + k] & 0xC0) != 0x80)
            return 0;
    return n;
}

bool IsValidUtf8(std::span<const uint8_t> data) {
    for (size_t i = 0; i < data.size();) {
        const size_t n = Utf8SequenceLength(data, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

bool IsValidUtf8(std::string_view text) {
    return IsValidUtf8({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

std::string SanitizeUtf8(std::span<const uint8_t> data) {
    std::string out;
    out.reserve(data.size());
    for (size_t i = 0; i < data.size();) {
        const size_t n = Utf8SequenceLength(data, i);
        if (n == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(reinterpret_cast<const char*>(data.data() + i), n);
            i += n;
        }
    }
    return out;
}

bool CodePageAvailable() {
    return TIconv(true).Valid();
}

std::optional<std::string> Utf8ToCodePage(std::string_view text) {
    if (!IsValidUtf8(text))
        return std::nullopt;
    TIconv cd(true);
    if (!cd.Valid())
        return std::nullopt;
    std::string out;
    char buffer[4096];
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    while (inLeft > 0) {
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        const size_t r = iconv(cd.Handle(), &in, &inLeft, &o, &oLeft);
        out.append(buffer, size_t(o - buffer));
        if (r == size_t(-1) && errno != E2BIG)
            return std::nullopt;
    }
    return out;
}

std::string CodePageToUtf8(std::span<const uint8_t> data) {
    TIconv cd(false);
    if (!cd.Valid())
        return SanitizeUtf8(data);
    std::string out;
    char buffer[4096];
    char* in = const_cast<char*>(reinterpret_cast<const char*>(data.data()));
    size_t inLeft = data.size();
    while (inLeft > 0) {
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        const size_t r = iconv(cd.Handle(), &in, &inLeft, &o, &oLeft);
        out.append(buffer, size_t(o - buffer));
        if (r == size_t(-1)) {
            if (errno == E2BIG)
                continue;
            // An invalid or truncated sequence: replace one byte and carry on.
            out += kReplacement;
            ++in;
            --inLeft;
        }
    }
    return out;
}

} // namespace velmora
