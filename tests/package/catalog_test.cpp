// The catalogs of the program's own messages, found as the program finds
// them: beside its file, under locale/<language>/LC_MESSAGES/.
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/startup.h"
#include "core/platform/builtin_text.h"
#include "core/text/utf.h"
#include "env_guard.h"
#include "gui_fixture.h"
#include "localization/instance.h"
#include "localization/runtime.h"
#include "serial/com_error.h"
#include "serial/open_failure.h"
#include "trace/link_failure.h"
#include "window/adapter_check_run.h"
#include "window/port_ini.h"

namespace {

// Every text the program passes through its catalogs: the class library's
// string resources, the port's error table, the suffix that a port error
// with a system code carries, and the explanation of a port that did not open.
std::vector<std::string> ProgramMessages() {
    std::vector<std::string> texts;
    for (std::uint32_t id = 0; id < core::kFirstTextAddress; ++id) {
        std::string text;
        if (core::LoadStringResourceNarrow(id, text, 1 << 16) > 0) texts.push_back(text);
    }
    for (int i = 1; i <= serial::kPortErrorCount; ++i)
        texts.push_back(core::Utf16ToUtf8(serial::PortErrorMessagesEnglish[i]));
    const std::string entry = core::Utf16ToUtf8(serial::PortErrorMessagesEnglish[1]);
    std::string suffix = serial::EComPort(1, 12345).Message().substr(entry.size());
    suffix.replace(suffix.find("12345"), 5, "%d");
    texts.push_back(suffix);
    for (const std::string& text : serial::OpenFailureTexts()) texts.push_back(text);
    for (const std::string& text : window::PortIniTexts()) texts.push_back(text);
    for (const std::string& text : cli::LinkFailureTexts()) texts.push_back(text);
    for (const std::string& text : window::AdapterCheckWindowTexts()) texts.push_back(text);
    return texts;
}

TEST(RussianCatalog, TranslatesEveryMessageOfTheProgram) {
    testcat::EnvGuard env;
    env.Set("LANG", "ru_RU.UTF-8");
    const std::vector<std::string> texts = ProgramMessages();  // before the runtime: English
    ASSERT_GT(texts.size(), std::size_t{serial::kPortErrorCount});
    localization::RuntimeScope runtime;
    std::string missing;
    for (const std::string& text : texts) {
        std::string translated =
            core::Utf16ToUtf8(localization::SharedInstance()->TranslateIn("default", core::Utf8ToUtf16(text)));
        std::erase(translated, '\r');
        if (translated == text) missing += "\n  \"" + text + "\"";
    }
    EXPECT_EQ(missing, "") << "po/ru.po has no translation for these texts";
}

class ErrorBoxLanguage : public testing_support::GuiTest {};

// An ordinary user: a thread's file-system identity, which the kernel checks
// when the port's device is opened. Without root the test's own user stays,
// and the device is closed to it as well.
class OrdinaryUser {
public:
    OrdinaryUser() : root_(::geteuid() == 0) {
        if (!root_) return;
        ::setfsgid(65534);
        ::setfsuid(65534);
    }
    ~OrdinaryUser() {
        if (!root_) return;
        ::setfsuid(0);
        ::setfsgid(0);
    }
    OrdinaryUser(const OrdinaryUser&) = delete;
    OrdinaryUser& operator=(const OrdinaryUser&) = delete;
    // Root's own device, or for any other user a device closed to everyone.
    static mode_t RootOnlyMode() { return ::geteuid() == 0 ? 0600 : 0; }

private:
    const bool root_;
};

// The whole start-up: runtime, port error table, main window; the box is the
// one that start-up presents. A port that does not open is explained on a
// second line: the device, the reason and what to do.
TEST_F(ErrorBoxLanguage, FollowsLang) {
    testing_support::Pty rootOnly;
    ASSERT_FALSE(rootOnly.slave.empty());
    ASSERT_EQ(::chmod(rootOnly.slave.c_str(), OrdinaryUser::RootOnlyMode()), 0);
    // The working folder stays readable for the ordinary user.
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    struct Row {
        const char* lang;
        const char* portIni;  // null: no port.ini; "": the root-only device, opened as an ordinary user
        std::string box;      // "{}" stands for the root-only device
    };
    const Row rows[] = {
        {"ru_RU.UTF-8", "/dev/pumpdiag-absent",
         "Не удаётся открыть COM-порт (системный код ошибки: 2)\n"
         "Порт /dev/pumpdiag-absent: нет такого устройства. Подключите адаптер или выберите другой порт."},
        {"C", "/dev/pumpdiag-absent",
         "Unable to open com port (win error code: 2)\n"
         "Port /dev/pumpdiag-absent: no such device. Plug the adapter in or choose another port."},
        {"ru_RU.UTF-8", "",
         "Не удаётся открыть COM-порт (системный код ошибки: 13)\nПорт {}: нет прав доступа. Добавьте своего "
         "пользователя в группу dialout (sudo usermod -aG dialout $USER) и войдите в систему заново."},
        {"C", "",
         "Unable to open com port (win error code: 13)\nPort {}: permission denied. Add your user to the dialout "
         "group (sudo usermod -aG dialout $USER), then log in again."},
        {"ru_RU.UTF-8", nullptr, "Не удаётся открыть файл port.ini.\nВ папке " + folder.string() + ": такого файла нет."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.lang);
        testcat::EnvGuard env;
        env.Set("LANG", row.lang);
        std::remove("port.ini");
        const bool asOrdinaryUser = row.portIni && !*row.portIni;
        if (row.portIni) testing_support::WriteBytes("port.ini", asOrdinaryUser ? rootOnly.slave : row.portIni);
        std::string box = row.box;
        if (const auto at = box.find("{}"); at != std::string::npos) box.replace(at, 2, rootOnly.slave);
        boxes.clear();
        {
            std::optional<OrdinaryUser> user;
            if (asOrdinaryUser) user.emplace();
            app::StartModules();
            app::CreateWindows();
        }
        app::DestroyWindows();
        app::EndModules();
        serial::InitPortErrorMessages();  // English again, as without a runtime
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, box);
    }
}

}  // namespace
