#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <functional>

#include "catalog_fixture.h"
#include "localization/domain.h"

namespace {

using localization::TDomain;
using testcat::Entries;

const std::string kNotCatalog = "This file is not a valid GNU gettext mo file: ";

void Point(TDomain& domain, const testcat::TempDir& dir, const std::string& language) {
    domain.SetDirectory(dir.Path().string());  // the trailing "/" is added
    domain.SetLanguage(language);
}

// Every source, and keys just before, between and after them, within
// floor(log2 N) + 1 comparisons each.
void ExpectCompleteAndExact(TDomain& domain, const Entries& entries, const std::string& label) {
    const std::uint64_t bound = std::bit_width(domain.StringCount());
    auto check = [&](const std::string& key, const std::string& expected) {
        std::uint64_t comparisons = 0;
        EXPECT_EQ(domain.LookUp(key, comparisons), expected) << label << " key " << key;
        EXPECT_LE(comparisons, bound) << label << " key " << key;
    };
    check("key", "key");
    check("kez", "kez");
    for (const auto& [source, translation] : entries) {
        check(source, translation);
        check(source + "!", source + "!");
        check("K" + source.substr(1), "K" + source.substr(1));
    }
}

TEST(Domain, EveryNFindsEverySourceAndNoAbsentKeyInBothByteOrders) {
    testcat::TempDir dir;
    for (int n = 0; n <= 300; ++n) {
        Entries entries = testcat::NumberedEntries(n);
        for (bool swapped : {false, true}) {
            testcat::WriteFile(dir.Path() / "xx/LC_MESSAGES/t.mo", testcat::MoBytes(entries, swapped));
            TDomain domain("t");
            Point(domain, dir, "xx");
            EXPECT_EQ(domain.LookUp(""), "");  // opens the catalog; no empty source here
            ASSERT_TRUE(domain.IsOpen());
            ASSERT_EQ(domain.StringCount(), static_cast<std::uint32_t>(n));
            EXPECT_EQ(domain.Swapped(), swapped);
            if (n > 0) ExpectCompleteAndExact(domain, entries, "N=" + std::to_string(n) + (swapped ? " swapped" : ""));
        }
    }
}

TEST(Domain, CatalogsCompiledByMsgfmt) {
    testcat::TempDir dir;
    for (int n : {1, 2, 7, 8, 64, 127, 255, 299}) {
        std::string name = "m" + std::to_string(n);
        Entries entries = testcat::NumberedEntries(n);
        testcat::InstallCatalog(dir.Path(), "de", name, entries);
        TDomain domain(name);
        Point(domain, dir, "de");
        // The empty key finds the header entry that msgfmt writes first.
        EXPECT_THAT(std::string(domain.LookUp("")), testing::HasSubstr("charset=UTF-8"));
        EXPECT_EQ(domain.StringCount(), static_cast<std::uint32_t>(n + 1));
        ExpectCompleteAndExact(domain, entries, "msgfmt N=" + std::to_string(n));
    }
    testcat::InstallCatalog(dir.Path(), "de", "text", {{"Open port", "Port öffnen"}, {"Line\none", "Zeile\neins"}});
    TDomain domain("text");
    Point(domain, dir, "de");
    EXPECT_EQ(domain.LookUp("Line\none"), "Zeile\neins");
    for (const char* absent : {"open port", "Open  port", "Open port ", "Line\r\none", "Open"})
        EXPECT_EQ(domain.LookUp(absent), absent);
}

TEST(Domain, PluralPairsAndContextsCompiledByMsgfmt) {
    testcat::TempDir dir;
    // A plural pair is one key with a zero byte between its forms, and so is
    // its translation; a context goes before the key, joined by byte 4.
    testcat::CompileCatalog(testcat::PoText({{"Open port", "Port öffnen"}}) +
                                "msgid \"%d port\"\nmsgid_plural \"%d ports\"\n"
                                "msgstr[0] \"%d Port\"\nmsgstr[1] \"%d Ports\"\n\n"
                                "msgctxt \"menu\"\nmsgid \"Open\"\nmsgstr \"Öffnen\"\n",
                            dir.Path() / "de/LC_MESSAGES/forms.mo");
    TDomain forms("forms");
    Point(forms, dir, "de");
    using namespace std::string_view_literals;
    EXPECT_EQ(forms.LookUp("%d port\0%d ports"sv), "%d Port\0%d Ports"sv);
    EXPECT_EQ(forms.LookUp("menu\4Open"sv), "Öffnen"sv);
    for (std::string_view part : {"%d port"sv, "%d ports"sv, "Open"sv, "%d port\0"sv})
        EXPECT_EQ(forms.LookUp(part), part);
}

TEST(Domain, LocatesTheCatalogOnceForEachDirectoryAndLanguage) {
    testcat::TempDir dir;
    TDomain domain("default");
    Point(domain, dir, "ru_RU");
    EXPECT_EQ(domain.LookUp("Exit"), "Exit");
    EXPECT_FALSE(domain.MaySearch());
    // A catalog that appears later is not noticed until the language is set again.
    testcat::InstallCatalog(dir.Path(), "ru", "default", {{"Exit", "Выход (ru)"}});
    EXPECT_EQ(domain.LookUp("Exit"), "Exit");
    domain.SetLanguage("ru_RU");
    EXPECT_EQ(domain.LookUp("Exit"), "Выход (ru)");  // the two-letter directory serves ru_RU

    testcat::InstallCatalog(dir.Path(), "ru_RU", "default", {{"Exit", "Выход (ru_RU)"}});
    domain.SetLanguage("ru_RU");
    EXPECT_EQ(domain.LookUp("Exit"), "Выход (ru_RU)");  // the full language comes first

    domain.SetDirectory(dir.Dir() + "elsewhere");
    EXPECT_FALSE(domain.IsOpen());
    EXPECT_EQ(domain.LookUp("Exit"), "Exit");
}

std::string RaisedMessage(TDomain& domain, std::string_view key) {
    return testcat::RaisedMessage([&] { domain.LookUp(key); });
}

TEST(Domain, FileThatIsNotACatalogIsRejectedOnceThenKeysComeBack) {
    testcat::TempDir dir;
    auto path = dir.Path() / "ru/LC_MESSAGES/default.mo";
    testcat::WriteFile(path, "msgid \"Exit\"\nmsgstr \"Выход\"\n");
    TDomain domain("default");
    Point(domain, dir, "ru");
    EXPECT_EQ(RaisedMessage(domain, "Exit"), kNotCatalog + path.string());
    EXPECT_EQ(domain.LookUp("Exit"), "Exit");
    domain.SetLanguage("ru");  // searched again, rejected again
    EXPECT_EQ(RaisedMessage(domain, "Exit"), kNotCatalog + path.string());
}

// Catalogs whose header or tables point outside the file are rejected when
// opened; nothing is ever read beyond the file's end.
TEST(Domain, TruncatedAndCorruptedCatalogsAreRejected) {
    using Damage = std::function<void(std::string&, bool)>;
    auto word = [](std::size_t at, std::uint32_t value) -> Damage {
        return [=](std::string& mo, bool swapped) { testcat::PatchWord(mo, at, value, swapped); };
    };
    auto cut = [](long keep) -> Damage {
        return [=](std::string& mo, bool) { mo.resize(keep >= 0 ? keep : mo.size() + keep); };
    };
    // Five entries: header 28 bytes, sources at 28, translations at 68.
    const std::vector<std::pair<const char*, Damage>> cases = {
        {"empty file", cut(0)},
        {"header cut short", cut(19)},
        {"cut inside the tables", cut(60)},
        {"last string cut", cut(-3)},
        {"wrong magic number", word(0, 0x950412df)},
        {"count too large", word(8, 1000)},
        {"count times 8 wraps 32 bits", word(8, 0x20000001)},
        {"table offset past the end", word(12, 0xFFFFFFF0)},
        {"string offset past the end", word(28 + 8 * 2 + 4, 0x7FFFFFFF)},
        {"string length past the end", word(68 + 8 * 4, 0xFFFFFFFF)},
        {"offset plus length wraps 32 bits",
         [](std::string& mo, bool s) {
             testcat::PatchWord(mo, 68 + 8, 0x20, s);
             testcat::PatchWord(mo, 68 + 12, 0xFFFFFFF0, s);
         }},
    };
    testcat::TempDir dir;
    auto path = dir.Path() / "xx/LC_MESSAGES/default.mo";
    for (const auto& [what, damage] : cases) {
        for (bool swapped : {false, true}) {
            std::string mo = testcat::MoBytes(testcat::NumberedEntries(5), swapped);
            damage(mo, swapped);
            testcat::WriteFile(path, mo);
            TDomain domain("default");
            Point(domain, dir, "xx");
            EXPECT_EQ(RaisedMessage(domain, "key0002"), kNotCatalog + path.string()) << what;
            EXPECT_EQ(domain.LookUp("key0002"), "key0002") << what;
        }
    }
}

}  // namespace
