#include <gtest/gtest.h>

#include <filesystem>

#include "core/platform/builtin_text.h"
#include "core/platform/exception.h"
#include "core/stores/store_registry_tree.h"
#include "store_test_support.h"

namespace {

using core::TRegistry;
using core::TRegistryStore;

class RegistryStoreTest : public StoreFolderTest {};

std::string DeepPath(int depth) {
    std::string path = "k";
    for (int i = 1; i < depth; ++i) path += "\\k";
    return path;
}

// Runs `action` and returns the message of the ERegistryException it raises.
template <typename Action>
std::string RegistryError(Action action) {
    try {
        action();
    } catch (const core::ERegistryException& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

TEST_F(RegistryStoreTest, ValuesAndKeysPersistAcrossReopen) {
    const std::string name = Path("reg.dat");
    const std::string odd = std::string("a=b]%\\ \xc3\xa9\n", 11);
    {
        TRegistryStore store(name);
        TRegistry reg(store);
        ASSERT_TRUE(reg.OpenKey("Software\\Pump\\Port", true));
        reg.WriteString("Port", "COM1");
        reg.WriteString("Empty", "");
        reg.WriteInteger("Min", INT32_MIN);
        reg.WriteInteger("Neg", -2);
        reg.WriteExpandString("Path", "%HOME%\\x");
        reg.WriteBinaryData(odd, std::string("\0\1\2", 3));
        ASSERT_TRUE(reg.OpenKey("\\Software\\Empty Key", true));
    }
    TRegistryStore store(name);
    TRegistry reg(store);
    EXPECT_TRUE(reg.KeyExists("software\\empty key"));
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\pump\\PORT", false));
    EXPECT_EQ(reg.ReadString("port"), "COM1");
    EXPECT_EQ(reg.GetDataType("Port"), core::RegSz);
    EXPECT_EQ(reg.GetDataSize("Port"), 5) << "the terminating zero counts";
    EXPECT_EQ(reg.ReadString("Empty"), "");
    EXPECT_EQ(reg.ReadInteger("Min"), INT32_MIN);
    EXPECT_EQ(reg.ReadInteger("Neg"), -2);
    EXPECT_EQ(reg.GetDataType("Neg"), core::RegDword);
    EXPECT_EQ(reg.GetDataSize("Neg"), 4);
    EXPECT_EQ(reg.ReadString("Path"), "%HOME%\\x");
    EXPECT_EQ(reg.GetDataType("Path"), core::RegExpandSz);
    EXPECT_EQ(reg.ReadBinaryData(odd), std::string("\0\1\2", 3));
    EXPECT_EQ(reg.GetValueNames().size(), 6u);
}

TEST_F(RegistryStoreTest, ReadFailuresNameTheValue) {
    TRegistryStore store;
    TRegistry reg(store);
    ASSERT_TRUE(reg.OpenKey("k", true));
    reg.WriteBinaryData("Long", "12345");
    reg.WriteBinaryData("Short", "123");
    reg.WriteString("Txt", "ab");   // 3 bytes with the zero
    reg.WriteString("LongTxt", "abcd");  // 5 bytes
    reg.WriteInteger("Num", 7);

    EXPECT_EQ(reg.ReadString("Missing"), "");
    EXPECT_EQ(RegistryError([&] { reg.ReadInteger("Missing"); }), "Failed to get data for 'Missing'");
    EXPECT_EQ(RegistryError([&] { reg.ReadInteger("Long"); }), "Failed to get data for 'Long'");
    EXPECT_EQ(RegistryError([&] { reg.ReadInteger("LongTxt"); }), "Failed to get data for 'LongTxt'");
    EXPECT_EQ(RegistryError([&] { reg.ReadInteger("Short"); }), "Invalid data type for 'Short'");
    EXPECT_EQ(RegistryError([&] { reg.ReadInteger("Txt"); }), "Invalid data type for 'Txt'");
    EXPECT_EQ(RegistryError([&] { reg.ReadString("Num"); }), "Invalid data type for 'Num'");
    EXPECT_EQ(RegistryError([&] { reg.ReadString("Long"); }), "Invalid data type for 'Long'");
    EXPECT_EQ(RegistryError([&] { reg.ReadBinaryData("Num"); }), "Invalid data type for 'Num'");
    EXPECT_EQ(RegistryError([&] { reg.ReadBinaryData("Missing"); }), "Failed to get data for 'Missing'");

    reg.CloseKey();
    EXPECT_EQ(reg.ReadString("Txt"), "") << "no open key, nothing to find";
    EXPECT_EQ(RegistryError([&] { reg.ReadInteger("Num"); }), "Failed to get data for 'Num'");
}

TEST_F(RegistryStoreTest, WriteFailuresRaiseAndChangeNothing) {
    TRegistryStore memory;
    TRegistry none(memory);
    EXPECT_EQ(RegistryError([&] { none.WriteString("A", "x"); }), "Failed to set data for 'A'") << "no open key";

    TRegistry writer(memory);
    ASSERT_TRUE(writer.OpenKey("k", true));
    writer.WriteInteger("N", 1);
    TRegistry reader(memory, true);
    ASSERT_TRUE(reader.OpenKey("k", false));
    EXPECT_EQ(RegistryError([&] { reader.WriteInteger("N", 2); }), "Failed to set data for 'N'");
    EXPECT_FALSE(reader.OpenKey("new", true));
    EXPECT_FALSE(reader.DeleteValue("N"));
    EXPECT_EQ(reader.ReadInteger("N"), 1);

    // The key disappears under an accessor that still has it open.
    ASSERT_TRUE(writer.DeleteKey("\\k"));
    EXPECT_EQ(RegistryError([&] { writer.WriteString("S", "x"); }), "Failed to set data for 'S'");
    EXPECT_FALSE(reader.ValueExists("N"));

    // A store whose file cannot be written takes each change back.
    TRegistryStore unwritable(Path("no/folder/reg.dat"));
    TRegistry reg(unwritable);
    EXPECT_FALSE(reg.OpenKey("k", true));
    EXPECT_FALSE(reg.KeyExists("k"));
    ASSERT_TRUE(reg.OpenKey("", false)) << "the root always exists";
    EXPECT_EQ(RegistryError([&] { reg.WriteString("S", "x"); }), "Failed to set data for 'S'");
    EXPECT_FALSE(reg.ValueExists("S"));
}

TEST_F(RegistryStoreTest, RewriteFailureRestoresThePreviousValue) {
    const std::string name = Path("reg.dat");
    TRegistryStore store(name);
    TRegistry reg(store);
    ASSERT_TRUE(reg.OpenKey("k", true));
    reg.WriteInteger("N", 1);
    // A folder in the file's place makes every replacement fail.
    std::filesystem::remove(name);
    std::filesystem::create_directory(name);
    EXPECT_THROW(reg.WriteInteger("N", 2), core::ERegistryException);
    EXPECT_EQ(reg.ReadInteger("N"), 1);
}

TEST_F(RegistryStoreTest, KeyPaths) {
    TRegistryStore store;
    TRegistry reg(store);
    EXPECT_FALSE(reg.OpenKey("a\\b", false));
    EXPECT_FALSE(reg.HasCurrentKey());
    ASSERT_TRUE(reg.OpenKey("a\\b", true));
    EXPECT_EQ(reg.CurrentPath(), "a\\b");
    ASSERT_TRUE(reg.OpenKey("c\\", true)) << "relative to the open key";
    EXPECT_EQ(reg.CurrentPath(), "a\\b\\c");
    EXPECT_FALSE(reg.OpenKey("x\\\\y", true)) << "an empty part";
    EXPECT_EQ(reg.CurrentPath(), "a\\b\\c") << "a failed open keeps the key";
    ASSERT_TRUE(reg.OpenKey("\\A", false));
    EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"b"}));
    EXPECT_TRUE(reg.DeleteKey("B"));
    EXPECT_FALSE(reg.KeyExists("\\a\\b\\c"));
    EXPECT_FALSE(reg.DeleteKey("B"));
    EXPECT_TRUE(reg.OpenKey("\\" + DeepPath(512), true));
    EXPECT_FALSE(reg.OpenKey("k", true)) << "one level too deep";
}

TEST_F(RegistryStoreTest, BrokenFilesAreRefusedAndLeftAlone) {
    const std::vector<std::string> broken{
        "not a store\n",
        "pumpdiag registry 1\nN=4:01000000\n",          // value before any key
        "pumpdiag registry 1\n[k]\nN=4:0100000\n",      // odd hex
        "pumpdiag registry 1\n[k]\nN=x:00\n",           // type not a number
        "pumpdiag registry 1\n[k]\nN=99999999999:00\n",  // type too large
        "pumpdiag registry 1\n[a\\\\b]\n",              // empty key name
        "pumpdiag registry 1\n[k\n",
        std::string("pumpdiag registry 1\n[k]\n\0\xff", 26),
        "pumpdiag registry 1\n[" + DeepPath(513) + "]\n",  // deeper than keys may nest
    };
    const std::string name = Path("reg.dat");
    for (const std::string& content : broken) {
        Put(name, content);
        try {
            TRegistryStore store(name);
            ADD_FAILURE() << "accepted: " << content;
        } catch (const core::EFOpenError& e) {
            EXPECT_EQ(e.Message(), "Cannot open file " + name);
        }
        EXPECT_EQ(Contents(name), content);
    }
    Put(name, "");
    EXPECT_NO_THROW(TRegistryStore{name}) << "an empty file is an empty store";
}

TEST_F(RegistryStoreTest, MessagesGoThroughTheBuiltInTextLoader) {
    auto loader = +[](const core::BuiltInText* record) -> std::string {
        if (record == &core::SRegGetDataFailed) return "no data: %s";
        return core::LoadBuiltInTextUntranslated(record);
    };
    core::BuiltInTextLoader previous = core::ReplaceBuiltInTextLoader(loader);
    TRegistryStore store;
    TRegistry reg(store);
    std::string message = RegistryError([&] { reg.ReadInteger("X"); });
    core::ReplaceBuiltInTextLoader(previous);
    EXPECT_EQ(message, "no data: X");
}

}  // namespace
