#include "files/text_file.h"

#include "support/files_support.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using files_test::TTempFolder;

std::vector<uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

TEST(TextEncoding, MarksThenValidUtf8ThenGbk) {
    EXPECT_EQ(DetectTextEncoding(Bytes("\xEF\xBB\xBFx")), TTextEncoding::teUTF8BOM);
    EXPECT_EQ(DetectTextEncoding(Bytes("\xFF\xFEx\0")), TTextEncoding::teUTF16LE);
    EXPECT_EQ(DetectTextEncoding(Bytes("\xFE\xFF\0x")), TTextEncoding::teUTF16BE);
    EXPECT_EQ(DetectTextEncoding(Bytes("plain")), TTextEncoding::teUTF8);
    EXPECT_EQ(DetectTextEncoding(Bytes("中文")), TTextEncoding::teUTF8);
    EXPECT_EQ(DetectTextEncoding(Bytes("\xD6\xD0\xCE\xC4")), TTextEncoding::teGBK);
    // Overlong forms, encoded surrogates and cut sequences are not UTF-8.
    EXPECT_EQ(DetectTextEncoding(Bytes("\xC0\xAF")), TTextEncoding::teGBK);
    EXPECT_EQ(DetectTextEncoding(Bytes("\xED\xA0\x80")), TTextEncoding::teGBK);
    EXPECT_EQ(DetectTextEncoding(Bytes("a\xE4\xB8")), TTextEncoding::teGBK);
}

TEST(TextEncoding, DecodesAndEncodesEveryEncodingAlike) {
    const std::string text = "a中文😀\r\n";
    for (TTextEncoding e : {TTextEncoding::teUTF8, TTextEncoding::teUTF8BOM,
                            TTextEncoding::teUTF16LE, TTextEncoding::teUTF16BE}) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(EncodeText(text, e, bytes));
        EXPECT_EQ(DetectTextEncoding(bytes), e);
        EXPECT_EQ(DecodeText(bytes, e), text);
    }
    std::vector<uint8_t> gbk;
    ASSERT_TRUE(EncodeText("中文", TTextEncoding::teGBK, gbk));
    EXPECT_EQ(gbk, Bytes("\xD6\xD0\xCE\xC4"));
    EXPECT_EQ(DecodeText(gbk, TTextEncoding::teGBK), "中文");
    EXPECT_FALSE(EncodeText("😀", TTextEncoding::teGBK, gbk));
    // Damage becomes replacement characters, never malformed text.
    EXPECT_EQ(DecodeText(Bytes("\xD6\xD0\xFF"), TTextEncoding::teGBK), "中\xEF\xBF\xBD");
    EXPECT_EQ(DecodeText(Bytes("\xFF\xFE\x3D\xD8"), TTextEncoding::teUTF16LE), "\xEF\xBF\xBD");
}

TEST(TextLines, AnyLineEndSplitsAndAFinalOneAddsNoLine) {
    EXPECT_EQ(SplitTextLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitTextLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
    EXPECT_TRUE(SplitTextLines("").empty());
}

TEST(TextFiles, RewritingKeepsTheEncodingAndFallsBackToUtf8ForLostCharacters) {
    TTempFolder folder;
    const std::string name = folder.File("t.txt");
    RewriteTextFile(name, {"新", "file"});
    EXPECT_EQ(files_test::ReadBytes(name), Bytes("新\r\nfile\r\n"));

    WriteTextFile(name, {"旧"}, TTextEncoding::teGBK);
    RewriteTextFile(name, {"旧", "新"});
    TTextEncoding found;
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadTextFile(name, lines, &found));
    EXPECT_EQ(found, TTextEncoding::teGBK);
    EXPECT_EQ(lines, (std::vector<std::string>{"旧", "新"}));

    // A character GBK cannot hold: the file becomes UTF-8 rather than lose it.
    RewriteTextFile(name, {"旧", "😀"});
    ASSERT_TRUE(ReadTextFile(name, lines, &found));
    EXPECT_EQ(found, TTextEncoding::teUTF8);
    EXPECT_EQ(lines, (std::vector<std::string>{"旧", "😀"}));

    WriteTextFile(name, {"x"}, TTextEncoding::teUTF16BE);
    AppendTextLine(name, "y");
    ASSERT_TRUE(ReadTextFile(name, lines, &found));
    EXPECT_EQ(found, TTextEncoding::teUTF16BE);
    EXPECT_EQ(lines, (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(files_test::ReadBytes(name).size(), 2u + 2 * 6);

    EXPECT_FALSE(ReadTextFile(folder.File("none.txt"), lines));
    EXPECT_TRUE(lines.empty());
}

} // namespace
} // namespace velmora
