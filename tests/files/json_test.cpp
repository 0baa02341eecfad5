#include "files/json.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(Json, ReadsWhatItWritesAndWhatOthersWrite) {
    std::string error;
    const auto value = ParseJson(
        "\xEF\xBB\xBF { \"a\" : [1, -2.5e2, true, null, \"\\u00e9\\ud83d\\ude00\\n\\\"/\"],"
        " \"b\": {\"c\": 0.1}, \"empty\": {} }",
        error);
    ASSERT_TRUE(value) << error;
    const TJsonValue* a = value->Find("a");
    ASSERT_TRUE(a && a->IsArray() && a->Items().size() == 5);
    EXPECT_EQ(a->Items()[0].Number(), 1);
    EXPECT_EQ(a->Items()[1].Number(), -250);
    EXPECT_TRUE(a->Items()[2].Bool());
    EXPECT_EQ(a->Items()[3].Kind(), TJsonValue::jkNull);
    EXPECT_EQ(a->Items()[4].String(), "\xC3\xA9\xF0\x9F\x98\x80\n\"/");
    EXPECT_EQ(value->Find("b")->NumberAt("c"), 0.1);

    // Written and read again, numbers keep their exact values and strings their bytes.
    const auto again = ParseJson(WriteJson(*value), error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(again->Find("a")->Items()[4].String(), a->Items()[4].String());
    EXPECT_EQ(again->Find("b")->NumberAt("c"), 0.1);
    EXPECT_EQ(WriteJson(*again), WriteJson(*value));
    EXPECT_EQ(WriteJson(TJsonValue(38.0 / 44.0)), "0.8636363636363636\n");
    EXPECT_EQ(WriteJson(TJsonValue(-32768)), "-32768\n");
}

TEST(Json, RefusesMalformedText) {
    const std::string deep = std::string(101, '[') + std::string(101, ']');
    for (const std::string& text :
         {std::string("[1,]"), std::string("{\"a\" 1}"), std::string("\"open"),
          std::string("\"\\ud800\""), std::string("01"), std::string("{} x"),
          std::string("\"a\tb\""), std::string("1e999"), std::string(""), deep}) {
        std::string error;
        EXPECT_FALSE(ParseJson(text, error)) << text;
        EXPECT_NE(error.find("at byte"), std::string::npos) << text;
    }
    std::string error;
    EXPECT_TRUE(ParseJson(std::string(100, '[') + std::string(100, ']'), error)) << error;
}

} // namespace
} // namespace velmora
