#include "platform/TextConv.h"

#include <gtest/gtest.h>

using TextConv::LocaleCompare;
using TextConv::Utf8ToWide;
using TextConv::WideToUtf8;

TEST(TextConvTest, Utf8AndBack) {
    const std::u16string text(u"A\u00E9\u20AC\0\U0001F600z", 7);
    const std::string utf8("A\xC3\xA9\xE2\x82\xAC\0\xF0\x9F\x98\x80z", 12);
    EXPECT_EQ(WideToUtf8(text), utf8);
    EXPECT_EQ(Utf8ToWide(utf8), text);
    // Unpaired surrogates, overlong forms, encoded surrogates, values above U+10FFFF and stray
    // continuation bytes become U+FFFD; a cut-off sequence is one, and the byte that broke it
    // still counts.
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(WideToUtf8(std::u16string{0xD800, u'a'}), fffd + "a");
    EXPECT_EQ(WideToUtf8(std::u16string{0xDC00, 0xD800}), fffd + fffd);
    const std::pair<const char*, std::u16string> broken[] = {
        {"\xC0\x80", u"\uFFFD\uFFFD"},
        {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\x80x\xFF", u"\uFFFDx\uFFFD"},
        {"\xE2\x82"
         "A",
         u"\uFFFDA"},
        {"\xF0\x9F\x98", u"\uFFFD"}};
    for (const auto& [bytes, wide] : broken)
        EXPECT_EQ(Utf8ToWide(bytes), wide) << bytes;
}

// Only identical texts are equal, and every code unit counts, zero ones too.
TEST(TextConvTest, CompareCountsEveryCodeUnit) {
    const std::u16string withZero(u"a\0b", 3);
    EXPECT_EQ(LocaleCompare(withZero, withZero), 0);
    EXPECT_EQ(LocaleCompare(withZero, std::u16string(u"a\0c", 3)), -1);
    EXPECT_EQ(LocaleCompare(u"a", std::u16string(u"a\0", 2)), -1);
    EXPECT_EQ(LocaleCompare(u"b", u"a"), 1);
    EXPECT_NE(LocaleCompare(u"a", u"A"), 0);
    EXPECT_EQ(LocaleCompare(u"a", u"A"), -LocaleCompare(u"A", u"a"));
    EXPECT_NE(LocaleCompare(std::u16string{0xD800}, std::u16string{0xDC00}), 0);
}
