// Port selection and port.ini, against real devices: pseudo-terminals for a
// port that opens, names of absent devices for one that does not.
#include <filesystem>
#include <memory>

#include "app/error_presentation.h"
#include "gui_fixture.h"
#include "serial/com_port.h"
#include "window/qt/form1.h"
#include "window/qt/memo_text.h"

using namespace testing_support;
using window::TForm1;

namespace {

class PortTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        ASSERT_FALSE(pty.slave.empty());
    }
    // Runs the handler the way the event loop would: an escaping error is presented.
    template <class F>
    void Run(F handler) {
        try {
            handler();
        } catch (...) {
            app::HandleUncaughtError();
        }
    }
    int Checked() const {
        const QAction* items[] = {form->Com11, form->Com21, form->com31, form->Com41};
        int mask = 0;
        for (int i = 0; i < 4; ++i)
            if (items[i]->isChecked()) mask |= 1 << i;
        return mask;
    }

    Pty pty;
};

TEST_F(PortTest, PortIniNamesTheDeviceToOpen) {
    WriteBytes("port.ini", pty.slave + "\r\nfurther text\r\n");
    form->Memo2->setPlainText("old help");
    Run([&] { form->OpenPortFromIni(); });
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(form->com().Connected());
    EXPECT_EQ(form->com().Port(), pty.slave);
    EXPECT_EQ(Checked(), 0);  // not one of the four
    EXPECT_EQ(window::MemoText(form->Memo2), "");
}

// The name is port.ini's first line as an editor may have saved it; a file
// that cannot have named a port says so on the box's second line.
TEST_F(PortTest, OnlyTheExactNamesCheckAnItem) {
    struct Case {
        std::string bytes;
        std::string port;
        int checked;
        std::string explanation;  // part of the box's second line, when the file is at fault
    };
    const Case cases[] = {
        {"Com3", "Com3", 1 << 2, ""},                   // the item, though the device may be absent
        {"Com3\r\nCom1\r\n", "Com3", 1 << 2, ""},       // first line only
        {"Com3\rmore", "Com3", 1 << 2, ""},             // CR alone ends the line too
        {"COM3", "COM3", 0, ""},                        // other letter case: no item
        {"Com3 \t\r\n", "Com3", 1 << 2, ""},           // white space that ends the line is no part of it
        {"\xEF\xBB\xBF" "Com3", "Com3", 1 << 2, ""},      // saved as UTF-8 with its mark
        {std::string("\xFF\xFE" "C\0o\0m\0" "3\0\r\0\n\0", 14), "Com3", 1 << 2, ""},  // UTF-16
        {" Com3", " Com3", 0, "The port name \" Com3\" in port.ini begins with a space."},
        {"Com\t3", "Com\t3", 0, "holds a tab or another control character."},
        {"", "", 0, "port.ini in the folder " + folder.string() + " is empty."},
        {"\xEF\xBB\xBF \r\n", "", 0, "is empty."},
        {"\r\nCom3", "", 0, "The first line of port.ini in the folder " + folder.string() + " is empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        for (QAction* item : {form->Com11, form->Com21, form->com31, form->Com41}) item->setChecked(false);
        WriteBytes("port.ini", c.bytes);
        boxes.clear();
        Run([&] { form->OpenPortFromIni(); });
        EXPECT_EQ(form->com().Port(), c.port);
        EXPECT_EQ(Checked(), c.checked);
        if (!c.explanation.empty()) {
            ASSERT_EQ(boxes.size(), 1u);
            const std::string& text = boxes[0].text;
            EXPECT_EQ(text.rfind("Unable to open com port (win error code: ", 0), 0u) << text;
            EXPECT_NE(text.find(c.explanation, text.find('\n')), std::string::npos) << text;
            EXPECT_TRUE(text.ends_with("Choose the port in the menu; the program then writes the file anew.")) << text;
        }
        if (form->com().Connected()) form->com().ClosePort();
    }
}

TEST_F(PortTest, FirstLineIsTheNameWholeHoweverLong) {
    // As long as the stable names Linux gives USB adapters, and wider than the hidden store.
    std::string link = folder.string() + "/serial/by-id/usb-Silicon_Labs_CP2102N_USB_";
    link += std::string(88 - link.size() - 6, '7') + "-port0";
    ASSERT_EQ(link.size(), 88u);
    std::filesystem::create_directories(std::filesystem::path(link).parent_path());
    std::filesystem::create_symlink(pty.slave, link);
    WriteBytes("port.ini", link + "\r\nCom2");
    Run([&] { form->OpenPortFromIni(); });
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(form->com().Connected());
    EXPECT_EQ(form->com().Port(), link);
    form->com().ClosePort();

    std::string words = "Com1";
    for (int i = 0; i < 30; ++i) words += " word" + std::to_string(i);
    WriteBytes("port.ini", words + "\r\nCom2");
    Run([&] { form->OpenPortFromIni(); });
    EXPECT_EQ(form->com().Port(), words);
    EXPECT_EQ(Checked(), 0);
    ASSERT_EQ(boxes.size(), 1u);  // no such device
    // The name is cut in the box, or the box grows as wide as the name.
    EXPECT_NE(boxes[0].text.find("\nPort " + words.substr(0, 59) + "… (/dev/" + words.substr(0, 54) + "…): no such device."),
              std::string::npos)
        << boxes[0].text;
}

TEST_F(PortTest, ChoosingAnAbsentPortReportsTheErrorAndRemembersTheChoice) {
    WriteBytes("port.ini", pty.slave);
    Run([&] { form->OpenPortFromIni(); });
    ASSERT_TRUE(form->com().Connected());
    form->Memo2->setPlainText("help");
    form->Com41->trigger();  // COM4: no such device here
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.rfind("Unable to open com port", 0), 0u) << boxes[0].text;
    // The first line ends with the error-code suffix, no period added; the second explains.
    EXPECT_EQ(boxes[0].text.substr(0, boxes[0].text.find('\n')).back(), ')') << boxes[0].text;
    EXPECT_EQ(boxes[0].icon, window::BoxIcon::Error);
    EXPECT_TRUE(form->Com41->isChecked());
    EXPECT_EQ(Checked(), 1 << 3);
    EXPECT_EQ(ReadBytes("port.ini"), "Com4");  // exactly four bytes
    EXPECT_FALSE(form->com().Connected());
    EXPECT_EQ(form->com().Port(), "Com4");
    EXPECT_EQ(window::MemoText(form->Memo2), "");

    // The next start fails at the same step.
    auto second = std::make_unique<TForm1>();
    Run([&] { second->FormCreate(); });
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, boxes[0].text);
    EXPECT_TRUE(second->Button4->isHidden());
}

TEST_F(PortTest, UnwritablePortIniLeavesThePortAsItWas) {
    WriteBytes("port.ini", pty.slave);
    Run([&] { form->OpenPortFromIni(); });
    ASSERT_TRUE(form->com().Connected());
    // A folder in the file's place cannot be written, whoever runs the test.
    std::filesystem::remove("port.ini");
    std::filesystem::create_directory("port.ini");
    form->Com21->trigger();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "Cannot create file port.ini.\nIn the folder " + folder.string() + ": this name is a folder, not a file.");
    EXPECT_TRUE(form->Com21->isChecked());
    EXPECT_EQ(form->logic().State().memo, "Com2");
    EXPECT_TRUE(form->com().Connected());
    EXPECT_EQ(form->com().Port(), pty.slave);
}

TEST_F(PortTest, PortMenuListsThePortsFoundAndOpensTheChosenOne) {
    namespace fs = std::filesystem;
    const fs::path dev = folder / "dev";
    fs::create_directories(dev / "serial" / "by-id");
    fs::create_symlink(pty.slave, dev / "ttyUSB0");
    const fs::path adapter = dev / "serial/by-id/usb-Maker_K-Line_Adapter_SN123-if00-port0";
    fs::create_symlink("../../ttyUSB0", adapter);  // as udev makes them
    fs::create_symlink("../../ttyUSB9", dev / "serial/by-id/usb-Gone_SN9-if00-port0");  // unplugged
    WriteBytes((dev / "ttyACM3").string(), "");
    WriteBytes((dev / "ttyS0").string(), "");  // behind Com1, not listed again
    form->logic().SetDevFolder(dev.string());
    auto listed = [&] {
        emit form->N2->aboutToShow();
        std::vector<std::pair<QString, bool>> items;
        for (QAction* item : form->foundPortItems)
            if (!item->isSeparator()) items.emplace_back(item->text(), item->isChecked());
        return items;
    };
    using Items = std::vector<std::pair<QString, bool>>;
    const QString acm = QString::fromStdString((dev / "ttyACM3").string());
    EXPECT_EQ(listed(), (Items{{"Maker K-Line Adapter SN123 (ttyUSB0)", false}, {acm, false}}));
    ASSERT_TRUE(form->foundPortItems.front()->isSeparator());
    EXPECT_EQ(form->N2->actions().indexOf(form->foundPortItems.front()), 4);  // below the four

    form->foundPortItems[1]->trigger();
    EXPECT_TRUE(boxes.empty()) << boxes[0].text;
    EXPECT_EQ(ReadBytes("port.ini"), adapter.string());
    EXPECT_TRUE(form->com().Connected());
    EXPECT_EQ(form->com().Port(), adapter.string());
    EXPECT_EQ(Checked(), 0);
    EXPECT_EQ(listed(), (Items{{"Maker K-Line Adapter SN123 (ttyUSB0)", true}, {acm, false}}));
}

TEST_F(PortTest, ClosingTheWindowFreesThePort) {
    WriteBytes("port.ini", pty.slave);
    Run([&] { form->OpenPortFromIni(); });
    ASSERT_TRUE(form->com().Connected());
    serial::TComPort other;
    other.SetPort(pty.slave);
    EXPECT_THROW(other.OpenPort(), serial::EComPort);  // held exclusively
    form.reset();
    EXPECT_NO_THROW(other.OpenPort());
    other.ClosePort();
}

}  // namespace
