#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "catalog_fixture.h"
#include "localization/assembly.h"
#include "localization/domain.h"
#include "localization/executable_file.h"

namespace {

using localization::TAssemblyAnalyzer;

void Put64(std::string& image, std::size_t at, std::uint64_t value) {
    if (image.size() < at + 8) image.resize(at + 8);
    for (int i = 0; i < 8; ++i) image[at + i] = static_cast<char>(value >> (8 * i));
}

// An executable-like file: some bytes, the marker, embedded files, and a
// directory of records, one after the other, ended by a zero record.
struct Image {
    std::string bytes = std::string("\x7f" "ELF", 4) + std::string(200, '\x90');
    std::size_t pointerAt = 0;
    std::vector<std::size_t> recordAt;

    Image(const std::vector<std::pair<std::string, std::string>>& files) {
        bytes += TAssemblyAnalyzer::MarkerText();
        pointerAt = bytes.size();
        Put64(bytes, pointerAt, 0);
        std::vector<std::size_t> dataAt;
        for (const auto& file : files) {
            dataAt.push_back(bytes.size());
            bytes += file.second;
        }
        for (std::size_t i = 0; i < files.size(); ++i) {
            std::size_t at = bytes.size();
            recordAt.push_back(at);
            const std::string& path = files[i].first;
            Put64(bytes, at, at + 24 + path.size());
            Put64(bytes, at + 8, dataAt[i]);
            Put64(bytes, at + 16, files[i].second.size());
            bytes += path;
        }
        Put64(bytes, bytes.size(), 0);
        if (!recordAt.empty()) Put64(bytes, pointerAt, recordAt[0]);
    }
};

TEST(EmbeddedFiles, OurExecutableCarriesTheMarkerOnceWithAnEmptyDirectory) {
    std::ifstream in(localization::OwnExecutablePath(), std::ios::binary);
    std::string self((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string marker = TAssemblyAnalyzer::MarkerText();
    std::size_t at = self.find(marker);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(self.find(marker, at + 1), std::string::npos);
    EXPECT_EQ(self.substr(at + marker.size(), 8), std::string(8, '\0'));

    TAssemblyAnalyzer analyzer(localization::OwnExecutablePath());
    EXPECT_TRUE(analyzer.MarkerFound());
    EXPECT_EQ(analyzer.EntryCount(), 0u);
    EXPECT_EQ(analyzer.BaseDirectory(), "");
    EXPECT_FALSE(analyzer.HasEmbeddedFile("locale/ru/LC_MESSAGES/default.mo"));
    auto located = analyzer.LocateFile("/x/locale/ru/LC_MESSAGES/default.mo");
    EXPECT_EQ(located.file, "/x/locale/ru/LC_MESSAGES/default.mo");
    EXPECT_EQ(located.offset, 0u);
}

TEST(EmbeddedFiles, CatalogsInsideTheExecutableAreFoundAndRead) {
    testcat::TempDir dir;
    const std::string deCatalog = testcat::MoBytes({{"Exit", "Beenden"}}, false);
    const std::string ruCatalog = testcat::MoBytes({{"Exit", "Выход"}}, true);
    Image image({{" locale/de/LC_MESSAGES/default.mo\r\n\t", deCatalog},
                 {"locale\\ru\\LC_MESSAGES\\ruvix.mo", ruCatalog}});
    const std::string exe = (dir.Path() / "tool").string();
    testcat::WriteFile(exe, image.bytes);

    TAssemblyAnalyzer analyzer(exe);
    EXPECT_EQ(analyzer.EntryCount(), 2u);
    EXPECT_EQ(analyzer.BaseDirectory(), dir.Dir());
    EXPECT_TRUE(analyzer.HasEmbeddedFile(dir.Dir() + "LOCALE/DE/LC_MESSAGES/default.mo"));
    EXPECT_TRUE(analyzer.HasEmbeddedFile(dir.Dir() + "locale/ru/LC_MESSAGES/ruvix.mo"));
    EXPECT_FALSE(analyzer.HasEmbeddedFile("/elsewhere/locale/de/LC_MESSAGES/default.mo"));
    auto located = analyzer.LocateFile(dir.Dir() + "locale/de/LC_MESSAGES/default.mo");
    EXPECT_EQ(located.file, exe);
    EXPECT_EQ(image.bytes.substr(located.offset, located.size), deCatalog);
    EXPECT_EQ(analyzer.LocateFile("/elsewhere/x.mo").file, "/elsewhere/x.mo");

    localization::TDomain german("default", &analyzer), russian("ruvix", &analyzer);
    german.SetDirectory(dir.Dir() + "locale");
    german.SetLanguage("de_DE");
    EXPECT_EQ(german.LookUp("Exit"), "Beenden");
    russian.SetDirectory(dir.Dir() + "locale");
    russian.SetLanguage("ru");
    EXPECT_EQ(russian.LookUp("Exit"), "Выход");

    // The executable gone: opening fails each time, as long as the cause lasts.
    std::filesystem::remove(exe);
    localization::TDomain orphan("default", &analyzer);
    orphan.SetDirectory(dir.Dir() + "locale");
    orphan.SetLanguage("de");
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(testcat::RaisedMessage([&] { orphan.LookUp("Exit"); }), "Cannot open file " + exe);
        EXPECT_TRUE(orphan.MaySearch());
    }
}

TEST(EmbeddedFiles, DamagedDirectoriesEndTheScanKeepingEarlierEntries) {
    testcat::TempDir dir;
    const std::string exe = (dir.Path() / "tool").string();
    auto scan = [&](const std::string& bytes) {
        testcat::WriteFile(exe, bytes);
        return TAssemblyAnalyzer(exe);
    };
    Image three({{"a.mo", "AAAA"}, {"b.mo", "BB"}, {"c.mo", "C"}});
    EXPECT_EQ(scan(three.bytes).EntryCount(), 3u);

    Image duplicate({{"a.mo", "A"}, {"A.MO", "B"}, {"c.mo", "C"}});
    EXPECT_EQ(scan(duplicate.bytes).EntryCount(), 1u);

    Image cycle = three;  // the third record points back at the first
    Put64(cycle.bytes, cycle.recordAt[2], cycle.recordAt[0]);
    EXPECT_EQ(scan(cycle.bytes).EntryCount(), 2u);

    Image pastTheEnd = three;
    Put64(pastTheEnd.bytes, pastTheEnd.recordAt[1], 1u << 30);
    EXPECT_EQ(scan(pastTheEnd.bytes).EntryCount(), 1u);

    Image backwards = three;  // a path ending before it starts
    Put64(backwards.bytes, backwards.recordAt[0], backwards.recordAt[0] + 8);
    EXPECT_EQ(scan(backwards.bytes).EntryCount(), 0u);

    Image firstPastTheEnd = three;
    Put64(firstPastTheEnd.bytes, firstPastTheEnd.pointerAt, 0xFFFFFFFFull);
    TAssemblyAnalyzer none = scan(firstPastTheEnd.bytes);
    EXPECT_EQ(none.EntryCount(), 0u);
    EXPECT_TRUE(none.MarkerFound());

    Image cut = three;
    cut.bytes.resize(cut.pointerAt + 3);  // marker without its 8 bytes
    EXPECT_EQ(scan(cut.bytes).EntryCount(), 0u);

    TAssemblyAnalyzer missing((dir.Path() / "absent").string());
    EXPECT_FALSE(missing.MarkerFound());
    EXPECT_EQ(missing.EntryCount(), 0u);
}

}  // namespace
