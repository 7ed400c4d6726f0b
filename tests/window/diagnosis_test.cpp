// A diagnosis against the simulated pump in the window: each decoded text in
// the field under its own label.
#include <chrono>

#include "gui_fixture.h"
#include "window/qt/form1.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

TEST_F(FormTest, IdentificationTextsLandInTheirOwnFields) {
    WriteBytes("caption.txt", ReadBytes(PD_DATA_DIR "/caption.txt"));
    WriteBytes("port.ini", "SIM");
    form->FormCreate();
    ASSERT_TRUE(boxes.empty()) << boxes[0].text;
    form->Button3->click();
    ASSERT_TRUE(WaitFor([&] { return form->Button4->isEnabled() || form->Button3->isEnabled(); }, 30s));
    ASSERT_TRUE(form->Button4->isEnabled()) << "the link dropped before identification";
    struct Row {
        window::TLabel* label;
        window::TLabel* field;  // the field below the label
        const char* caption;
        const char* text;  // the simulated pump's identification, as decoded
    };
    const Row rows[] = {
        {form->Label2, form->Id_b, "Номер по Бош", "0 470 506 917"},
        {form->Label3, form->S_n, "Id номер", "PU4471    0218"},
        {form->Label1, form->Or_name, "Оригинальный номер", "4B1907401S"},
        {form->Label4, form->Id, "Серийный номер", "VR1708512 3470"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.caption);
        EXPECT_EQ(row.label->caption(), row.caption);
        EXPECT_EQ(row.field->caption(), row.text);
    }
}

}  // namespace
