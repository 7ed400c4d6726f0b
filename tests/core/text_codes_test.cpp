#include <gtest/gtest.h>

#include "core/text/cp1251.h"
#include "core/text/format.h"
#include "core/text/short_text.h"
#include "core/text/user_text.h"
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

TEST(UserText, EachEncodingAnEditorSavesIsReadAsWhatItIs) {
    const struct {
        std::string bytes;
        std::string text;
    } rows[] = {
        {"\xC2\xFB\xF5\xEE\xE4\r\n", "Выход\r\n"},                  // Windows-1251, as shipped
        {"Выход\r\nПорт", "Выход\r\nПорт"},                              // UTF-8 without a mark
        {"\xEF\xBB\xBF" "Com1", "Com1"},                                   // UTF-8 mark dropped
        {"\xEF\xBB\xBF\xC2\xFB", "\xEF\xBF\xBD\xEF\xBF\xBD"},             // marked UTF-8 that is not
        {std::string("\xFF\xFE" "C\0o\0m\0" "1\0\t\0", 12), "Com1\t"},     // UTF-16 LE
        {std::string("\xFE\xFF\0C\0o\x04\x10\0\0\0x", 12), "CoА"},        // UTF-16 BE, ends at zero
        {std::string("ab\0\xD0\x92", 5), "ab"},                           // a zero byte ends the text
        {"\xD2\xB8", "Тё"},                                               // valid UTF-8, plausible 1251
        {"\xC2\xA9 2026", "В© 2026"},                                      // UTF-8 without Cyrillic
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        EXPECT_EQ(core::DecodeUserText(row.bytes), row.text);
    }
}

TEST(ShortText, LongNamesAreCutOnCharactersWithAnEllipsis) {
    EXPECT_EQ(core::ShortenedEnd(std::string(5000, 'x'), 60), std::string(59, 'x') + "…");
    EXPECT_EQ(core::ShortenedEnd("ПортCOM", 5), "Порт…");
    EXPECT_EQ(core::ShortenedStart("C:\\Пользователи\\u", 4), "…и\\u");
    EXPECT_EQ(core::ShortenedEnd("COM3", 4), "COM3");
    EXPECT_EQ(core::WithFinalPeriod("Cannot open file 5A.txt"), "Cannot open file 5A.txt.");
}
