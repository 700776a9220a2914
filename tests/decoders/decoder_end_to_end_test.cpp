// The serial decoder on frames that came the whole way from the simulated
// instrument: its D1 line repeats "KR40 demo 0123456789\r\n" at 9600 bit/s.

#include <gtest/gtest.h>

#include "acquisition/scope_tables.h"
#include "decoders/uart_decoder.h"
#include "support/sim_session.h"

namespace kr40 {
namespace {

using test::SimSession;

TEST(DecoderEndToEnd, SimulatedD1ReadsItsDemoLine)
{
    SimSession sim;
    ASSERT_EQ(sim.Open(), FT_OK);
    ScopeSettings& s = sim.st.settings;
    s.Russian = false;
    s.Run_Down = true;
    s.Sel(Group::TimeBase) = TimeBaseIndex("5mS");  // 50 ms: two lines
    s.CH_D1 = true;
    s.Dec_Type = 1;
    s.Dec_RXD = 2;  // D1
    s.Dec_TXD = 0;
    s.Dec_Baud_Rate = 9600;
    s.Dec_Data_Bits = 8;
    s.Dec_PRTY = 0;
    s.Dec_Stop_Bits = 1;
    s.Dec_MSB_First = 0;
    s.Dec_RXD_Inv = 0;
    s.Dec_Display = 2;  // ASCII
    ASSERT_TRUE(sim.Apply());
    ASSERT_TRUE(sim.WaitFrames(2));
    const FrameSet frame = sim.LastFrame();

    DecodedTables t;
    ASSERT_TRUE(DecodeFrameSerial(s, sim.st.acq, frame, t));
    ASSERT_GE(t.RxCount, 22);
    // A frame may begin inside a character: the decoder falls into step
    // within a few characters; from the first line end on all are clean.
    std::string chars;
    bool inStep = false;
    for (const DecodedChar& c : t.Rx()) {
        if (inStep) {
            EXPECT_EQ(c.Flags, 0u) << chars;
        }
        chars += static_cast<char>(c.Value);
        inStep = inStep || c.Value == '\n';
    }
    EXPECT_NE(chars.find("KR40 demo 0123456789\r\n"), std::string::npos) << chars;
    // The window's text lists them in ASCII, control characters as "-".
    const std::string text = DecoderText(s, t);
    EXPECT_EQ(text.rfind("RXD (Data - " + std::to_string(t.RxCount) + ", errors - ", 0), 0u) << text;
    std::string listed;  // the values of every line, after "0x000:  "
    for (std::size_t at = text.find("0x"); at != std::string::npos; at = text.find("\r\n0x", at)) {
        if (text.compare(at, 2, "\r\n") == 0) at += 2;
        const std::size_t end = text.find("\r\n", at);
        listed += text.substr(at + 8, end - at - 8);
        at = end;
    }
    EXPECT_NE(listed.find("KR40 demo 0123456789--"), std::string::npos) << text;
}

}  // namespace
}  // namespace kr40
