// The report menu and the report speak the user's language: their texts come
// from the message catalog beside the program.
#include <gtest/gtest.h>

#include "env_guard.h"
#include "gui_fixture.h"
#include "localization/gettext.h"
#include "localization/runtime.h"
#include "report/report_html.h"
#include "window/qt/form1.h"
#include "window/report_settings_dialog.h"

namespace {

class ReportLanguage : public testing_support::GuiTest {};

TEST_F(ReportLanguage, FollowsLang) {
    struct Row {
        const char* lang;
        const char* menu;
        const char* make;
        const char* open;
        const char* saveLine;
        const char* settings;
        const char* title;  // of the report
        std::vector<std::string> dialog;  // the settings dialog's title, labels and buttons
    } rows[] = {
        {"ru_RU.UTF-8", "Отчёт", "Сформировать отчёт", "Открыть папку журнала", "Сохранить запись линии",
         "Мастерская и мастер...",
         "Отчёт о диагностике насоса", {"Настройки отчёта", "Мастерская:", "Мастер:", "ОК", "Отмена"}},
        {"C", "Report", "Make report", "Open journal folder", "Save the line", "Workshop and technician...",
         "Pump diagnosis report",
         {"Report settings", "Workshop:", "Technician:", "OK", "Cancel"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.lang);
        testcat::EnvGuard env;
        env.Set("LANG", row.lang);
        localization::RuntimeScope runtime;
        window::TForm1 form;
        EXPECT_EQ(form.Report1->title().toStdString(), row.menu);
        EXPECT_EQ(form.MakeReport1->text().toStdString(), row.make);
        EXPECT_EQ(form.OpenJournal1->text().toStdString(), row.open);
        EXPECT_EQ(form.SaveLine1->text().toStdString(), row.saveLine);
        EXPECT_EQ(form.ReportSettings1->text().toStdString(), row.settings);
        const window::FieldsDialog dialog = window::ReportSettingsDialog({});
        EXPECT_EQ((std::vector<std::string>{dialog.title, dialog.fields[0].label, dialog.fields[1].label, dialog.ok,
                                            dialog.cancel}),
                  row.dialog);
        report::Diagnosis d;
        const std::string page = report::ReportHtml(d, {});
        EXPECT_NE(page.find(std::string("<h1>") + row.title + "</h1>"), std::string::npos);
        EXPECT_NE(page.find(std::string("lang=\"") + (row.lang[0] == 'r' ? "ru" : "en") + "\""), std::string::npos);
    }
}

// What the window says of a report and of the report's settings, beyond its
// menu and dialog: each has its Russian text.
TEST_F(ReportLanguage, EveryReportMessageHasItsRussianText) {
    testcat::EnvGuard env;
    env.Set("LANG", "ru_RU.UTF-8");
    localization::RuntimeScope runtime;
    for (const char* text : {"The report was written to:", "The report was written but cannot be opened:",
                             "The report names no workshop and no technician: enter them in the Report menu, "
                             "\"Workshop and technician...\".",
                             "The settings have no folder: the user's folder is not known.",
                             "The folder %s cannot be made: %s", "Technician", "Link",
                             "Nothing has passed on the line since the port was opened or the communication started.",
                             "The line since the last start was saved to:",
                             "Send this file to whoever supports your workshop."})
        EXPECT_NE(localization::TranslateUtf8(text), text);
}

}  // namespace
