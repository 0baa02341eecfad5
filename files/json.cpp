#include "files/json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace velmora {

const TJsonValue* TJsonValue::Find(std::string_view name) const {
    for (const auto& [key, value] : FMembers)
        if (key == name)
            return &value;
    return nullptr;
}

std::optional<double> TJsonValue::NumberAt(std::string_view name) const {
    const TJsonValue* value = Find(name);
    if (!value || !value->IsNumber())
        return std::nullopt;
    return value->Number();
}

TJsonValue& TJsonValue::Add(TJsonValue value) {
    FItems.push_back(std::move(value));
    return FItems.back();
}

TJsonValue& TJsonValue::Set(std::string name, TJsonValue value) {
    FMembers.emplace_back(std::move(name), std::move(value));
    return FMembers.back().second;
}

namespace {

constexpr int kMaxDepth = 100;

class TParser {
public:
    explicit TParser(std::string_view text) : FText(text) {}

    std::optional<TJsonValue> Document(std::string& error) {
        if (FText.substr(0, 3) == "\xEF\xBB\xBF")
            FPos = 3;
        TJsonValue value;
        if (Value(value, 0)) {
            SkipSpace();
            if (FPos == FText.size())
                return value;
            Fail("text after the value");
        }
        error = FError + " at byte " + std::to_string(FPos);
        return std::nullopt;
    }

private:
    bool Fail(const char* what) {
        if (FError.empty())
            FError = what;
        return false;
    }

    void SkipSpace() {
        while (FPos < FText.size() && (FText[FPos] == ' ' || FText[FPos] == '\t' ||
                                       FText[FPos] == '\n' || FText[FPos] == '\r'))
            ++FPos;
    }

    bool Literal(std::string_view word) {
        if (FText.substr(FPos, word.size()) != word)
            return Fail("unknown word");
        FPos += word.size();
        return true;
    }

    bool Value(TJsonValue& out, int depth) {
        if (depth >= kMaxDepth)
            return Fail("nested too deeply");
        SkipSpace();
        if (FPos >= FText.size())
            return Fail("the text ends where a value should be");
        const char c = FText[FPos];
        if (c == '{')
            return Object(out, depth);
        if (c == '[')
            return Array(out, depth);
        if (c == '"') {
            std::string s;
            if (!String(s))
                return false;
            out = TJsonValue(std::move(s));
            return true;
        }
        if (c == 't') {
            out = TJsonValue(true);
            return Literal("true");
        }
        if (c == 'f') {
            out = TJsonValue(false);
            return Literal("false");
        }
        if (c == 'n') {
            out = TJsonValue();
            return Literal("null");
        }
        return Number(out);
    }

    bool Number(TJsonValue& out) {
        const size_t start = FPos;
        const auto digits = [&] {
            const size_t from = FPos;
            while (FPos < FText.size() && FText[FPos] >= '0' && FText[FPos] <= '9')
                ++FPos;
            return FPos > from;
        };
        if (FPos < FText.size() && FText[FPos] == '-')
            ++FPos;
        if (FPos < FText.size() && FText[FPos] == '0')
            ++FPos;
        else if (!digits())
            return Fail("not a value");
        if (FPos < FText.size() && FText[FPos] == '.') {
            ++FPos;
            if (!digits())
                return Fail("a fraction without digits");
        }
        if (FPos < FText.size() && (FText[FPos] == 'e' || FText[FPos] == 'E')) {
            ++FPos;
            if (FPos < FText.size() && (FText[FPos] == '+' || FText[FPos] == '-'))
                ++FPos;
            if (!digits())
                return Fail("an exponent without digits");
        }
        double value = 0;
        const auto [end, ec] = std::from_chars(FText.data() + start, FText.data() + FPos, value);
        if (ec != std::errc() || end != FText.data() + FPos || !std::isfinite(value))
            return Fail("a number out of range");
        out = TJsonValue(value);
        return true;
    }

    bool Hex4(uint32_t& code) {
        if (FPos + 4 > FText.size())
            return Fail("a short \\u escape");
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = FText[FPos++];
            code <<= 4;
            if (h >= '0' && h <= '9')
                code |= uint32_t(h - '0');
            else if (h >= 'a' && h <= 'f')
                code |= uint32_t(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                code |= uint32_t(h - 'A' + 10);
            else
                return Fail("a bad \\u escape");
        }
        return true;
    }

    static void PutUtf8(std::string& s, uint32_t code) {
        if (code < 0x80) {
            s += char(code);
        } else if (code < 0x800) {
            s += char(0xC0 | (code >> 6));
            s += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            s += char(0xE0 | (code >> 12));
            s += char(0x80 | ((code >> 6) & 0x3F));
            s += char(0x80 | (code & 0x3F));
        } else {
            s += char(0xF0 | (code >> 18));
            s += char(0x80 | ((code >> 12) & 0x3F));
            s += char(0x80 | ((code >> 6) & 0x3F));
            s += char(0x80 | (code & 0x3F));
        }
    }

    bool String(std::string& s) {
        ++FPos; // the opening quote
        while (true) {
            if (FPos >= FText.size())
                return Fail("a string without its closing quote");
            const char c = FText[FPos++];
            if (c == '"')
                return true;
            if (uint8_t(c) < 0x20)
                return Fail("a control character in a string");
            if (c != '\\') {
                s += c;
                continue;
            }
            if (FPos >= FText.size())
                return Fail("a string without its closing quote");
            const char e = FText[FPos++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                s += e;
                break;
            case 'b':
                s += '\b';
                break;
            case 'f':
                s += '\f';
                break;
            case 'n':
                s += '\n';
                break;
            case 'r':
                s += '\r';
                break;
            case 't':
                s += '\t';
                break;
            case 'u': {
                uint32_t code = 0;
                if (!Hex4(code))
                    return false;
                if (code >= 0xD800 && code < 0xDC00) {
                    uint32_t low = 0;
                    if (FText.substr(FPos, 2) != "\\u")
                        return Fail("a lone surrogate");
                    FPos += 2;
                    if (!Hex4(low) || low < 0xDC00 || low >= 0xE000)
                        return Fail("a lone surrogate");
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                } else if (code >= 0xDC00 && code < 0xE000) {
                    return Fail("a lone surrogate");
                }
                PutUtf8(s, code);
                break;
            }
            default:
                return Fail("an unknown escape");
            }
        }
    }

    bool Array(TJsonValue& out, int depth) {
        ++FPos;
        out = TJsonValue::Array();
        SkipSpace();
        if (FPos < FText.size() && FText[FPos] == ']') {
            ++FPos;
            return true;
        }
        while (true) {
            TJsonValue item;
            if (!Value(item, depth + 1))
                return false;
            out.Add(std::move(item));
            SkipSpace();
            if (FPos >= FText.size())
                return Fail("an array without its closing bracket");
            const char c = FText[FPos++];
            if (c == ']')
                return true;
            if (c != ',')
                return Fail("a missing comma in an array");
        }
    }

    bool Object(TJsonValue& out, int depth) {
        ++FPos;
        out = TJsonValue::Object();
        SkipSpace();
        if (FPos < FText.size() && FText[FPos] == '}') {
            ++FPos;
            return true;
        }
        while (true) {
            SkipSpace();
            if (FPos >= FText.size() || FText[FPos] != '"')
                return Fail("a member without a name");
            std::string name;
            if (!String(name))
                return false;
            SkipSpace();
            if (FPos >= FText.size() || FText[FPos] != ':')
                return Fail("a member name without a colon");
            ++FPos;
            TJsonValue value;
            if (!Value(value, depth + 1))
                return false;
            out.Set(std::move(name), std::move(value));
            SkipSpace();
            if (FPos >= FText.size())
                return Fail("an object without its closing brace");
            const char c = FText[FPos++];
            if (c == '}')
                return true;
            if (c != ',')
                return Fail("a missing comma in an object");
        }
    }

    std::string_view FText;
    size_t FPos = 0;
    std::string FError;
};

void WriteString(std::string& out, const std::string& s) {
    out += '"';
    for (const char c : s)
        AppendJsonEscaped(out, c);
    out += '"';
}

void WriteNumber(std::string& out, double value) {
    char text[32];
    if (!std::isfinite(value)) {
        out += "0";
        return;
    }
    const auto [end, ec] = std::trunc(value) == value && std::fabs(value) < 1e15
                               ? std::to_chars(text, text + sizeof text, int64_t(value))
                               : std::to_chars(text, text + sizeof text, value);
    out.append(text, ec == std::errc() ? end : text);
}

void Write(std::string& out, const TJsonValue& value, int indent) {
    const std::string pad(size_t(indent) * 2, ' ');
    switch (value.Kind()) {
    case TJsonValue::jkNull:
        out += "null";
        return;
    case TJsonValue::jkBool:
        out += value.Bool() ? "true" : "false";
        return;
    case TJsonValue::jkNumber:
        WriteNumber(out, value.Number());
        return;
    case TJsonValue::jkString:
        WriteString(out, value.String());
        return;
    case TJsonValue::jkArray: {
        if (value.Items().empty()) {
            out += "[]";
            return;
        }
        out += "[\n";
        for (size_t i = 0; i < value.Items().size(); ++i) {
            out += pad + "  ";
            Write(out, value.Items()[i], indent + 1);
            out += i + 1 < value.Items().size() ? ",\n" : "\n";
        }
        out += pad + "]";
        return;
    }
    case TJsonValue::jkObject: {
        if (value.Members().empty()) {
            out += "{}";
            return;
        }
        out += "{\n";
        for (size_t i = 0; i < value.Members().size(); ++i) {
            out += pad + "  ";
            WriteString(out, value.Members()[i].first);
            out += ": ";
            Write(out, value.Members()[i].second, indent + 1);
            out += i + 1 < value.Members().size() ? ",\n" : "\n";
        }
        out += pad + "}";
        return;
    }
    }
}

} // namespace

std::optional<TJsonValue> ParseJson(std::string_view text, std::string& error) {
    return TParser(text).Document(error);
}

void AppendJsonEscaped(std::string& out, char c) {
    switch (c) {
    case '"':
        out += "\\\"";
        break;
    case '\\':
        out += "\\\\";
        break;
    case '\n':
        out += "\\n";
        break;
    case '\r':
        out += "\\r";
        break;
    case '\t':
        out += "\\t";
        break;
    default:
        if (uint8_t(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(uint8_t(c)));
            out += escape;
        } else {
            out += c;
        }
    }
}

std::string WriteJson(const TJsonValue& value) {
    std::string out;
    Write(out, value, 0);
    out += '\n';
    return out;
}

} // namespace velmora
