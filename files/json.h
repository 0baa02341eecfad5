#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora {

// A JSON value: null, true/false, a number (held as a double), a string (UTF-8), an array or an
// object whose members keep the order of the text.
class TJsonValue {
public:
    enum TKind : uint8_t { jkNull, jkBool, jkNumber, jkString, jkArray, jkObject };
    using TMembers = std::vector<std::pair<std::string, TJsonValue>>;

    TJsonValue() = default;
    TJsonValue(bool value) : FKind(jkBool), FBool(value) {}
    TJsonValue(double value) : FKind(jkNumber), FNumber(value) {}
    TJsonValue(int value) : FKind(jkNumber), FNumber(value) {}
    TJsonValue(std::string value) : FKind(jkString), FString(std::move(value)) {}
    TJsonValue(const char* value) : FKind(jkString), FString(value) {}
    static TJsonValue Array() { return TJsonValue(jkArray); }
    static TJsonValue Object() { return TJsonValue(jkObject); }

    TKind Kind() const { return FKind; }
    bool IsNumber() const { return FKind == jkNumber; }
    bool IsString() const { return FKind == jkString; }
    bool IsArray() const { return FKind == jkArray; }
    bool IsObject() const { return FKind == jkObject; }
    bool Bool() const { return FKind == jkBool && FBool; }
    double Number() const { return FKind == jkNumber ? FNumber : 0; }
    const std::string& String() const { return FString; }
    const std::vector<TJsonValue>& Items() const { return FItems; }
    const TMembers& Members() const { return FMembers; }

    // The first member of that name; null when this is not an object or has no such member.
    const TJsonValue* Find(std::string_view name) const;
    // A member that is a number; none when missing or of another kind.
    std::optional<double> NumberAt(std::string_view name) const;

    // Appends an item to an array / a member to an object (the caller keeps names unique).
    TJsonValue& Add(TJsonValue value);
    TJsonValue& Set(std::string name, TJsonValue value);

private:
    explicit TJsonValue(TKind kind) : FKind(kind) {}

    TKind FKind = jkNull;
    bool FBool = false;
    double FNumber = 0;
    std::string FString;
    std::vector<TJsonValue> FItems;
    TMembers FMembers;
};

// Parses a whole JSON text (RFC 8259; a UTF-8 byte-order mark is skipped). None, with the reason
// and its byte position in `error`, for anything malformed, nested deeper than 100 levels or
// followed by more than white space.
std::optional<TJsonValue> ParseJson(std::string_view text, std::string& error);

// The value as JSON text, indented by two spaces per level, objects one member a line; whole
// numbers are written without a fraction, others as the shortest text that reads back the same.
std::string WriteJson(const TJsonValue& value);
// Appends byte c as it stands inside a JSON string: quotes, backslashes and control characters
// escaped, every other byte as it is.
void AppendJsonEscaped(std::string& out, char c);

} // namespace velmora
