#include <gtest/gtest.h>

#include "core/text/cp1251.h"
#include "core/text/format.h"
#include "core/text/utf.h"

TEST(Cp1251, CyrillicRoundTripsThroughUtf8) {
    std::string utf8 = "Проверка Ошибок ёЁ №";
    std::string bytes = core::Utf8ToCp1251(utf8);
    EXPECT_EQ(bytes.size(), 20u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xCF);  // П
    EXPECT_EQ(core::Cp1251ToUtf8(bytes), utf8);
    EXPECT_EQ(core::Utf8ToCp1251("日"), "?");
    EXPECT_EQ(core::Cp1251ToUtf8(std::string("\x98", 1)), "\xC2\x98");
}

TEST(Utf8, StrictDecodingRejectsMalformedInput) {
    EXPECT_TRUE(core::IsValidUtf8("Привет"));
    EXPECT_FALSE(core::IsValidUtf8("\xC0\xAF"));        // overlong
    EXPECT_FALSE(core::IsValidUtf8("\xED\xA0\x80"));    // surrogate
    EXPECT_FALSE(core::IsValidUtf8("ab\xD0"));          // truncated
    EXPECT_EQ(core::Utf16ToUtf8(core::Utf8ToUtf16("a😀б")), "a😀б");
}

TEST(FormatText, FillsDirectivesAndSurvivesMismatches) {
    EXPECT_EQ(core::FormatText("Cannot open file %s", {"port.ini"}), "Cannot open file port.ini");
    EXPECT_EQ(core::FormatText(" (win error code: %d)", {-5}), " (win error code: -5)");
    EXPECT_EQ(core::FormatText("%08X|%-3d|%%", {255, 7}), "000000FF|7  |%");
    EXPECT_EQ(core::FormatText("%s and %s", {"one"}), "one and %s");
    EXPECT_EQ(core::FormatText("%d", {"text"}), "text");
    EXPECT_EQ(core::FormatText("tail %", {}), "tail %");
}
