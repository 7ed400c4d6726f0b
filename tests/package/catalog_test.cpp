// The catalogs of the program's own messages, found as the program finds
// them: beside its file, under locale/<language>/LC_MESSAGES/.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/startup.h"
#include "core/builtin_text.h"
#include "core/utf.h"
#include "env_guard.h"
#include "gui_fixture.h"
#include "localization/instance.h"
#include "localization/runtime.h"
#include "serial/com_error.h"

namespace {

// Every text the program passes through its catalogs: the class library's
// string resources, the port's error table, and the suffix that a port error
// with a system code carries.
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

// The whole start-up: runtime, port error table, main window; the box is the
// one that start-up presents.
TEST_F(ErrorBoxLanguage, FollowsLang) {
    struct Row {
        const char* lang;
        const char* portIni;  // null: no port.ini
        const char* box;
    };
    const Row rows[] = {
        {"ru_RU.UTF-8", "/dev/pumpdiag-absent", "Не удаётся открыть COM-порт (системный код ошибки: 2)"},
        {"C", "/dev/pumpdiag-absent", "Unable to open com port (win error code: 2)"},
        {"ru_RU.UTF-8", nullptr, "Не удаётся открыть файл port.ini."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.lang);
        testcat::EnvGuard env;
        env.Set("LANG", row.lang);
        std::remove("port.ini");
        if (row.portIni) testing_support::WriteBytes("port.ini", row.portIni);
        boxes.clear();
        app::StartModules();
        app::CreateWindows();
        app::DestroyWindows();
        app::EndModules();
        serial::InitPortErrorMessages();  // English again, as without a runtime
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, row.box);
    }
}

}  // namespace
