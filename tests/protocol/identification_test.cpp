#include <gtest/gtest.h>

#include "engine_fakes.h"

using namespace testing_support;
using protocol::Control;
using protocol::IdentField;
using protocol::PumpProtocol;

namespace {

// One link start (with its 900 ms wake-up) serves every case of a test.
struct Identification : ::testing::Test {
    ScriptedLine line;
    RecordingView view;
    PumpProtocol engine{line, view};

    void Start() {
        engine.SetFirstStartValues();
        engine.SetRemainingStartValues();
        engine.ResetLink();
        for (char c : std::string("\x55\x8C\x51")) {
            line.Push(std::string(1, c));
            engine.Rx(1);
        }
    }
};

TEST_F(Identification, FourBlocksFillTheFieldsAndEnableFaultButtons) {
    Start();
    PlayPumpBlock(engine, line, PumpBlock(0, 0x10, "12345"));
    EXPECT_EQ(view.Field(IdentField::OrName), "12345");
    PlayPumpBlock(engine, line, PumpBlock(1, 0x10, "zzzzzzzzzzzzz"));
    PlayPumpBlock(engine, line, PumpBlock(2, 0x10, "123456789ABCD"));
    EXPECT_EQ(view.Field(IdentField::Id), "123456789 ABCD");
    PlayPumpBlock(engine, line, PumpBlock(3, 0x10, "yyyyyyyyyyyyy"));
    PlayPumpBlock(engine, line, PumpBlock(4, 0x10, "ABCDEF1234"));
    EXPECT_EQ(view.Field(IdentField::SerialNumber), "ABCDEF    1234");
    EXPECT_FALSE(view.Enabled(Control::Button4));
    PlayPumpBlock(engine, line, PumpBlock(6, 0x10, "xyz1234567890"));
    EXPECT_EQ(view.Field(IdentField::BoschNumber), "1 234 567 890");
    EXPECT_TRUE(view.Enabled(Control::Button4));
    EXPECT_TRUE(view.Enabled(Control::Button1));
    EXPECT_FALSE(engine.State().IdentPending);
    EXPECT_EQ(view.fields.size(), 4u) << "blocks 1 and 3 changed no field";

    // decoding has ended: a later counter-0 block changes nothing
    PlayPumpBlock(engine, line, PumpBlock(0, 0x10, "99"));
    EXPECT_EQ(view.Field(IdentField::OrName), "12345");

    // a new start decodes again, with nothing of the earlier text
    Start();
    PlayPumpBlock(engine, line, PumpBlock(0, 0x10, "67"));
    EXPECT_EQ(view.Field(IdentField::OrName), "67");
}

TEST_F(Identification, ZeroBytesCutTheirSegmentAndCyrillicIsDecoded) {
    Start();
    PlayPumpBlock(engine, line, PumpBlock(2, 0x10, std::string("1234\0006789ABCD", 13)));
    EXPECT_EQ(view.Field(IdentField::Id), "12346789 ABCD");
    PlayPumpBlock(engine, line, PumpBlock(4, 0x10, "\xC0\xC1\xC2\xC3\xC4\xC5" "1234"));
    EXPECT_EQ(view.Field(IdentField::SerialNumber), "АБВГДЕ    1234");
    // a zero fifth byte loses the blank after it too
    PlayPumpBlock(engine, line, PumpBlock(6, 0x10, std::string("xyz\000234567890", 13)));
    EXPECT_EQ(view.Field(IdentField::BoschNumber), "234 567 890");
    // the counter-0 field always takes B[2], even from a block without data,
    // where it is whatever an earlier block left there
    Start();
    PlayPumpBlock(engine, line, PumpBlock(0, 0x10, ""));
    EXPECT_EQ(view.Field(IdentField::OrName), "x");
}

}  // namespace
