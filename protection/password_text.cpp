#include "protection/password_text.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <vector>

namespace velmora {

namespace {

bool IsAscii(const std::string& s) {
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

// Strict UTF-8 check (no overlong forms, no surrogates).
bool IsValidUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = s[i];
        int n;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (s.size() - i <= size_t(n))
            return false;
        for (int k = 1; k <= n; ++k) {
            unsigned char d = s[i + k];
            if ((d & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        static constexpr uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += size_t(n) + 1;
    }
    return true;
}

class TIconv {
public:
    TIconv(const char* to, const char* from) : FHandle(iconv_open(to, from)) {}
    ~TIconv() {
        if (Valid())
            iconv_close(FHandle);
    }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;
    bool Valid() const { return FHandle != reinterpret_cast<iconv_t>(-1); }
    iconv_t Handle() const { return FHandle; }

private:
    iconv_t FHandle;
};

} // namespace

std::string PasswordKeyText(const std::string& PassWord) {
    if (IsAscii(PassWord) || !IsValidUtf8(PassWord))
        return PassWord;
    TIconv cd("CP936", "UTF-8");
    if (!cd.Valid())
        return PassWord;
    std::string out;
    std::vector<char> in(PassWord.begin(), PassWord.end());
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char buffer[256];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t r = iconv(cd.Handle(), &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, size_t(outPtr - buffer));
        if (r == size_t(-1)) {
            if (errno == E2BIG)
                continue;
            // A character the code page cannot hold: the platform's conversion writes '?' for
            // it, so the same password keeps giving the same key.
            out.push_back('?');
            unsigned char c = static_cast<unsigned char>(*inPtr);
            size_t skip = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            skip = std::min(skip, inLeft);
            inPtr += skip;
            inLeft -= skip;
        }
    }
    return out;
}

} // namespace velmora
