#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>

#include "core/platform/exception.h"
#include "core/stores/store_ini_file.h"
#include "core/stores/store_ini_index.h"
#include "store_test_support.h"

// Heap bytes in use while `counting`, and their peak: the price of loading a
// store, independent of how busy the machine is.
namespace {
bool counting = false;
std::int64_t liveBytes = 0, peakBytes = 0;
}  // namespace

void* operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    if (counting) peakBytes = std::max(peakBytes, liveBytes += static_cast<std::int64_t>(malloc_usable_size(p)));
    return p;
}
void operator delete(void* p) noexcept {
    if (counting && p) liveBytes -= static_cast<std::int64_t>(malloc_usable_size(p));
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using core::TIniFile;

class IniFileTest : public StoreFolderTest {};

TEST_F(IniFileTest, ValuesRoundTripExactlyAcrossReopen) {
    const std::string name = Path("s.ini");
    const std::vector<std::string> texts{"COM1", "#32", " COM1 ", "\"quoted\"", "\"", "", "a=b;c", "[x]",
                                         std::string("z\0y", 3)};
    {
        TIniFile ini(name);
        for (std::size_t i = 0; i < texts.size(); ++i) ini.WriteString("com", "T" + std::to_string(i), texts[i]);
        ini.WriteInteger("com", "Min", INT32_MIN);
        ini.WriteInteger("com", "Max", INT32_MAX);
        ini.WriteInteger("other", "Zero", 0);
    }
    TIniFile ini(name);
    for (std::size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(ini.ReadString("com", "T" + std::to_string(i), "?"), texts[i]) << i;
    EXPECT_EQ(ini.ReadInteger("com", "Min", 1), INT32_MIN);
    EXPECT_EQ(ini.ReadInteger("com", "Max", 1), INT32_MAX);
    EXPECT_EQ(ini.ReadInteger("other", "Zero", 1), 0);
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"com", "other"}));
}

TEST_F(IniFileTest, FileLayoutIsPlainSectionsAndKeys) {
    const std::string name = Path("s.ini");
    TIniFile ini(name);
    ini.WriteString("com", "Port", "COM1");
    ini.WriteInteger("com", "Buffer.InputSize", 254);
    ini.WriteString("com", "Port", "COM2");
    EXPECT_EQ(Contents(name), "[com]\nPort=COM2\nBuffer.InputSize=254\n");
}

TEST_F(IniFileTest, MissingFileIsEmptyAndReadsDoNotCreateIt) {
    const std::string name = Path("none.ini");
    TIniFile ini(name);
    EXPECT_EQ(ini.ReadString("com", "Port", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadInteger("com", "BaudRate", 42), 42);
    EXPECT_FALSE(ini.SectionExists("com"));
    EXPECT_FALSE(std::filesystem::exists(name));
}

TEST_F(IniFileTest, NamesIgnoreCaseAndBlanksWhileValuesAreTrimmed) {
    const std::string name = Path("s.ini");
    Put(name, "; settings\r\n[ Com ]\r\n  port =  COM7  \r\nJunk line\r\nSpeed= $10\r\n\r\n[Other]\r\nport=x\r\n");
    TIniFile ini(name);
    EXPECT_EQ(ini.ReadString("COM", "PORT", ""), "COM7");
    EXPECT_EQ(ini.ReadInteger("com", "speed", 0), 16);
    EXPECT_TRUE(ini.ValueExists("cOm", "Port"));
    EXPECT_EQ(ini.ReadSection("com"), (std::vector<std::string>{"port", "Speed"}));

    // An existing key is rewritten in place under its own spelling; a new key
    // goes after the section's last key; comments, junk and CR LF line ends stay.
    ini.WriteString("COM", "PORT", "COM8");
    ini.WriteString("com", "New", "1");
    ini.WriteString("third", "k", "v");
    EXPECT_EQ(Contents(name),
              "; settings\r\n[ Com ]\r\nport=COM8\r\nJunk line\r\nSpeed= $10\r\nNew=1\r\n\r\n[Other]\r\nport=x\r\n"
              "\r\n[third]\r\nk=v\r\n");
}

TEST_F(IniFileTest, IntegersParseStrictlyElseDefault) {
    const std::string name = Path("s.ini");
    Put(name, "[n]\na=-12\nb= 7 \nc=0x1F\nd=$FFFFFFFF\ne=12abc\nf=2147483648\ng=\nh=-\ni=0x\n");
    TIniFile ini(name);
    EXPECT_EQ(ini.ReadInteger("n", "a", 0), -12);
    EXPECT_EQ(ini.ReadInteger("n", "b", 0), 7);
    EXPECT_EQ(ini.ReadInteger("n", "c", 0), 31);
    EXPECT_EQ(ini.ReadInteger("n", "d", 0), -1);
    for (const char* key : {"e", "f", "g", "h", "i"}) EXPECT_EQ(ini.ReadInteger("n", key, 99), 99) << key;
}

TEST_F(IniFileTest, BinaryGarbageIsKeptAndDoesNotHideKeys) {
    const std::string name = Path("s.ini");
    std::string garbage("\x00\xff\x01[\r\r\n=\x00=x\xfe", 12);
    Put(name, garbage + "\n[s]\nk=v\n");
    TIniFile ini(name);
    EXPECT_EQ(ini.ReadString("s", "k", ""), "v");
    ini.WriteString("s", "k", "w");
    const std::string after = Contents(name);
    EXPECT_NE(after.find(std::string("\x00\xff\x01[", 4)), std::string::npos);
    EXPECT_EQ(TIniFile(name).ReadString("s", "k", ""), "w");
}

TEST_F(IniFileTest, UnreadableFilesRaiseOpenError) {
    std::filesystem::create_directory(Path("dir.ini"));
    EXPECT_THROW(TIniFile(Path("dir.ini")), core::EFOpenError);

    ASSERT_EQ(::mkfifo(Path("fifo.ini").c_str(), 0600), 0);
    EXPECT_THROW(TIniFile(Path("fifo.ini")), core::EFOpenError);

    const std::string huge = Path("huge.ini");
    Put(huge, "");
    ASSERT_EQ(::truncate(huge.c_str(), 64 << 20), 0);  // sparse: costs no disk
    try {
        TIniFile ini(huge);
        FAIL() << "a huge file was read";
    } catch (const core::EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file " + huge);
    }
}

TEST_F(IniFileTest, WriteThatCannotBePersistedRaisesAndChangesNothing) {
    const std::string name = Path("no/such/folder/s.ini");
    TIniFile ini(name);
    try {
        ini.WriteString("com", "Port", "COM1");
        FAIL() << "write reported success";
    } catch (const core::EIniFileException& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + name);
    }
    EXPECT_EQ(ini.ReadString("com", "Port", "none"), "none");
    EXPECT_FALSE(ini.SectionExists("com"));

    // A folder in the file's place makes every replacement fail: a rewritten
    // key, a new key and a removal are all taken back.
    const std::string other = Path("s.ini");
    TIniFile kept(other);
    kept.WriteString("com", "Port", "COM1");
    std::filesystem::remove(other);
    std::filesystem::create_directory(other);
    EXPECT_THROW(kept.WriteString("com", "Port", "COM2"), core::EIniFileException);
    EXPECT_THROW(kept.WriteInteger("com", "New", 1), core::EIniFileException);
    EXPECT_THROW(kept.EraseSection("com"), core::EIniFileException);
    EXPECT_EQ(kept.ReadSection("com"), std::vector<std::string>{"Port"});
    EXPECT_EQ(kept.ReadString("com", "Port", ""), "COM1");
}

TEST_F(IniFileTest, NamesAndValuesTheFileCannotHoldAreRefused) {
    const std::string name = Path("s.ini");
    TIniFile ini(name);
    ini.WriteString("s", "k", "v");
    const std::string before = Contents(name);
    EXPECT_THROW(ini.WriteString("s", "k", "two\nlines"), core::EIniFileException);
    EXPECT_THROW(ini.WriteString("s", "a=b", "v"), core::EIniFileException);
    EXPECT_THROW(ini.WriteString("s", "", "v"), core::EIniFileException);
    EXPECT_THROW(ini.WriteString("s", " k", "v"), core::EIniFileException);
    EXPECT_THROW(ini.WriteString("s", ";k", "v"), core::EIniFileException);
    EXPECT_THROW(ini.WriteString("a]b", "k", "v"), core::EIniFileException);
    EXPECT_THROW(ini.WriteInteger("x\ry", "k", 1), core::EIniFileException);
    EXPECT_EQ(Contents(name), before);
    EXPECT_EQ(ini.ReadString("s", "k", ""), "v");
}

TEST_F(IniFileTest, DeleteKeyAndEraseSectionPersist) {
    const std::string name = Path("s.ini");
    Put(name, "[a]\nk=1\nj=2\n[b]\nk=3\n[A]\nk=4\n");
    TIniFile ini(name);
    ini.DeleteKey("A", "K");
    EXPECT_EQ(Contents(name), "[a]\nj=2\n[b]\nk=3\n[A]\n");
    ini.EraseSection("a");
    EXPECT_EQ(Contents(name), "[b]\nk=3\n");
    ini.DeleteKey("b", "missing");
    EXPECT_EQ(TIniFile(name).ReadInteger("b", "k", 0), 3);
}

TEST_F(IniFileTest, ReplacingKeepsLinkAndPermissions) {
    const std::string target = Path("real.ini"), link = Path("link.ini");
    Put(target, "[s]\nk=1\n");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    std::filesystem::create_symlink(target, link);
    TIniFile(link).WriteString("s", "k", "2");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(Contents(target), "[s]\nk=2\n");
    struct stat st{};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()), 2)
        << "no temporary file left behind";
}

// A file of several megabytes costs a small multiple of itself to load, and
// every key in it is found without going through the file again.
TEST_F(IniFileTest, LargeFilesLoadInLinearTimeAndSpace) {
    constexpr std::size_t kSize = 6 << 20;
    struct Row {
        const char* what;
        std::string text;
        std::vector<std::pair<std::string, std::string>> keys;  // section, key: each reads back its own name
    };
    std::vector<Row> rows{{"empty lines", std::string(kSize, '\n'), {}}, {"one key repeated", {}, {}},
                          {"distinct sections and keys", {}, {}}};
    for (std::size_t i = 0; rows[1].text.size() < kSize; ++i) rows[1].text += i ? "a=\n" : "[s]\nA=A\n";
    rows[1].keys.emplace_back("S", "A");
    for (std::size_t i = 0; rows[2].text.size() < kSize; ++i) {
        const std::string section = "s" + std::to_string(i / 8), key = "k" + std::to_string(i);
        if (i % 8 == 0) rows[2].text += "[" + section + "]\r\n";
        rows[2].text += key + " = " + key + "\r\n";
        rows[2].keys.emplace_back(section, key);
    }
    for (const Row& row : rows) {
        const std::string name = Path("big.ini");
        Put(name, row.text);
        peakBytes = liveBytes = 0;
        counting = true;
        auto ini = std::make_unique<TIniFile>(name);
        counting = false;
        EXPECT_LT(peakBytes, 4 * static_cast<std::int64_t>(row.text.size())) << row.what;

        // Generous: a fraction of a second is enough, a scan a lookup is hours.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (std::size_t i = 0; i < row.keys.size(); ++i) {
            const auto& [section, key] = row.keys[i];
            ASSERT_EQ(ini->ReadString(section, key, "?"), key) << row.what;
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << row.what << ": " << i << " keys read";
        }
        ini->WriteString("new", "k", "v");
        EXPECT_EQ(TIniFile(name).ReadString("new", "k", ""), "v") << row.what;
    }
}

// Under a hash that every process shares, a file can be written whose
// section names all fall into one probe run, and opening it takes minutes.
// The key is drawn afresh in each process.
TEST(IniIndexHash, EachProcessHashesUnderItsOwnKey) {
    const auto hashInNewProcess = [] {
        std::unique_ptr<FILE, int (*)(FILE*)> probe(::popen(PD_INI_HASH_PROBE " com", "r"), ::pclose);
        char line[32] = {};
        return probe && std::fgets(line, sizeof line, probe.get()) ? std::string(line) : std::string("no output");
    };
    char own[32];
    std::snprintf(own, sizeof own, "%016llx\n", static_cast<unsigned long long>(core::IniNameHash("com")));
    const std::string first = hashInNewProcess(), second = hashInNewProcess();
    EXPECT_EQ(first.size(), 17u) << first;
    EXPECT_NE(first, own);
    EXPECT_NE(first, second);
}

}  // namespace
