#include "core/utils.h"

#include "support/core_support.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(FileNameWithoutExt, ThePartsCases) {
    EXPECT_EQ(FileNameWithoutExt("C:\\data\\Hum.wil"), "Hum");
    EXPECT_EQ(FileNameWithoutExt("/data/Hum.wil"), "Hum");
    EXPECT_EQ(FileNameWithoutExt("x.wil.wil"), "x");
    EXPECT_EQ(FileNameWithoutExt("/a/x.WIL.wil"), "x"); // compared without regard to case
    EXPECT_EQ(FileNameWithoutExt("/a/x.wix.wil"), "x.wix");
    EXPECT_EQ(FileNameWithoutExt("noext"), "noext");
    EXPECT_EQ(FileNameWithoutExt("/a.b/noext"), "noext");
    EXPECT_EQ(FileNameWithoutExt("/a/.wil"), "");
    EXPECT_EQ(FileNameWithoutExt(""), "");
}

TEST(TextToInt, ThePartsCases) {
    EXPECT_EQ(TextToInt("-12", 7), -12);
    EXPECT_EQ(TextToInt(" 12", 7), 7);
    EXPECT_EQ(TextToInt("12a", 7), 7);
    EXPECT_EQ(TextToInt("", 7), 7);
    EXPECT_EQ(TextToInt("+5", 7), 5);
    EXPECT_EQ(TextToInt("+", 7), 7);
    EXPECT_EQ(TextToInt("-", 7), 7);
    EXPECT_EQ(TextToInt("12 ", 7), 7);
    EXPECT_EQ(TextToInt("0x10", 7), 7);
    EXPECT_EQ(TextToInt("2147483647", 7), 2147483647);
    EXPECT_EQ(TextToInt("-2147483648", 7), -2147483647 - 1);
    // The low 32 bits of a 64-bit conversion.
    EXPECT_EQ(TextToInt("4294967297", 7), 1);
    EXPECT_EQ(TextToInt("2147483648", 7), -2147483647 - 1);
    EXPECT_EQ(TextToInt("9223372036854775807", 7), -1);
    EXPECT_EQ(TextToInt("-9223372036854775808", 7), 0);
    EXPECT_EQ(TextToInt("9223372036854775808", 7), 7); // beyond 64 bits: fails
}

TEST(SplitToken, ThePartsCases) {
    std::string token;
    EXPECT_EQ(SplitToken(",,ab,cd", token, ","), "cd");
    EXPECT_EQ(token, "ab");
    EXPECT_EQ(SplitToken("ab", token, ","), "");
    EXPECT_EQ(token, "ab");
    EXPECT_EQ(SplitToken("ab,,cd", token, ","), ",cd"); // later dividers are kept
    EXPECT_EQ(token, "ab");
    EXPECT_EQ(SplitToken(",,,", token, ","), "");
    EXPECT_EQ(token, "");
    EXPECT_EQ(SplitToken("", token, ","), "");
    EXPECT_EQ(token, "");
    EXPECT_EQ(SplitToken(" a;b c", token, " ;"), "b c");
    EXPECT_EQ(token, "a");
}

TEST(SplitToken, LongTexts) {
    std::string token;
    std::string longest(204798, 'a');
    EXPECT_EQ(SplitToken(longest, token, ","), "");
    EXPECT_EQ(token.size(), 204798u);
    std::string tooLong(204799, 'a');
    token = "x";
    EXPECT_EQ(SplitToken(tooLong, token, ","), "");
    EXPECT_EQ(token, "");
}

TEST(SameTextPrefix, ThePartsCases) {
    EXPECT_TRUE(SameTextPrefix("hum.pak", "HUM", 3));
    EXPECT_FALSE(SameTextPrefix("Ab", "ab", 3));
    EXPECT_FALSE(SameTextPrefix("abc", "abc", 0));
    EXPECT_FALSE(SameTextPrefix("abc", "abc", -1));
    EXPECT_FALSE(SameTextPrefix("abd", "ABC", 3));
    EXPECT_TRUE(SameTextPrefix("abd", "ABC", 2));
    // Only a-z fold.
    EXPECT_FALSE(SameTextPrefix("\xc3\xa9", "\xc3\x89", 2));
    EXPECT_TRUE(SameTextPrefix("[x", "[X", 2));
    EXPECT_FALSE(SameTextPrefix("{", "[", 1));
}

TEST(SmallUtilities, BoolTextAndMinInt) {
    EXPECT_EQ(BoolText(true), "TRUE");
    EXPECT_EQ(BoolText(false), "FALSE");
    EXPECT_EQ(MinInt(3, -4), -4);
    EXPECT_EQ(MinInt(-4, 3), -4);
    EXPECT_EQ(MinInt(5, 5), 5);
}

TEST(SmallUtilities, Paths) {
    EXPECT_TRUE(SameText("a.WIL", "A.wil"));
    EXPECT_FALSE(SameText("a.WIL", "A.wi"));
    EXPECT_TRUE(SameText("", ""));
    EXPECT_EQ(UpperCase("ab.wil1"), "AB.WIL1");
    EXPECT_EQ(ExtractFileExt("/a.b/c.Wil"), ".Wil");
    EXPECT_EQ(ExtractFileExt("/a.b/c"), "");
    EXPECT_EQ(ExtractFilePath("/a/b/c.wil"), "/a/b/");
    EXPECT_EQ(ExtractFilePath("c.wil"), "");
    EXPECT_EQ(ExtractFileName("/a/b/c.wil"), "c.wil");
    EXPECT_EQ(ChangeFileExt("/a/b/c.wil", ".WIX"), "/a/b/c.WIX");
    EXPECT_EQ(ChangeFileExt("/a.b/c", ".wzx"), "/a.b/c.wzx");
}

TEST(CopyBitmapHandle, IsAnIndependentCopy) {
    TDIB dib = core_test::PatternDIB(4, 3, 32);
    std::unique_ptr<TDIB> copy = CopyBitmapHandle(dib);
    ASSERT_TRUE(copy);
    EXPECT_TRUE(core_test::SamePixels(dib, *copy));
    copy->SetPixel(0, 0, 0);
    EXPECT_TRUE(core_test::SamePixels(dib, core_test::PatternDIB(4, 3, 32)));
}

TEST(BlitTransparent, TransparentPixelsLeaveTheTarget) {
    TDIB dc;
    dc.SetSize(4, 4, 32);
    dc.FillRect(0, 0, 4, 4, RGBColor(9, 9, 9));
    TDIB bmp;
    bmp.SetSize(2, 2, 32);
    bmp.SetPixel(0, 0, 0x00FF0000);
    bmp.SetPixel(1, 0, 0x80000000); // black with alpha: black by colour, so transparent
    bmp.SetPixel(0, 1, 0x00000001);
    BlitTransparent(dc, 1, 1, bmp, RGBColor(0, 0, 0));
    EXPECT_EQ(dc.Pixel(1, 1), 0x00FF0000u);
    EXPECT_EQ(dc.PixelColor(2, 1), RGBColor(9, 9, 9));
    EXPECT_EQ(dc.Pixel(1, 2), 0x00000001u);
    EXPECT_EQ(dc.PixelColor(2, 2), RGBColor(9, 9, 9));
    EXPECT_EQ(dc.PixelColor(0, 0), RGBColor(9, 9, 9));
}

TEST(BlitTransparent, AllTransparentLeavesTheTargetUnchanged) {
    TDIB dc = core_test::PatternDIB(5, 5, 32);
    TDIB bmp;
    bmp.SetSize(3, 3, 24);
    bmp.FillRect(0, 0, 3, 3, RGBColor(1, 2, 3));
    BlitTransparent(dc, 1, 1, bmp, RGBColor(1, 2, 3));
    EXPECT_TRUE(core_test::SamePixels(dc, core_test::PatternDIB(5, 5, 32)));
}

TEST(BlitTransparent, ClipsAndConverts) {
    TDIB dc;
    dc.SetSize(3, 3, 24);
    TDIB bmp;
    bmp.SetSize(2, 2, 8);
    bmp.FillRect(0, 0, 2, 2, RGBColor(255, 0, 0));
    bmp.SetPixel(1, 1, 0); // palette entry 0 is black
    BlitTransparent(dc, 2, 2, bmp, RGBColor(0, 0, 0));
    EXPECT_EQ(dc.Pixel(2, 2), RGBColor(255, 0, 0));
    BlitTransparent(dc, -1, -1, bmp, RGBColor(0, 0, 0));
    EXPECT_EQ(dc.Pixel(0, 0), 0u); // the bitmap's black (1, 1) lands here: transparent
    BlitTransparent(dc, -1, 0, bmp, RGBColor(255, 0, 0));
    EXPECT_EQ(dc.Pixel(0, 1), 0u);
    BlitTransparent(dc, 10, 10, bmp, 0); // entirely outside: nothing
    TDIB empty;
    BlitTransparent(empty, 0, 0, bmp, 0);
    EXPECT_TRUE(empty.Empty());
}

} // namespace
} // namespace velmora
