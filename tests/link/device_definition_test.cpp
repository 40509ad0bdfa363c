#include <gtest/gtest.h>

#include "link/serial_port.h"

namespace tenlo {
namespace {

// Settings unlike any default, so a test can see what a definition left alone.
CommSettings Odd() {
    CommSettings s;
    s.baud = 1200;
    s.parity = 'M';
    s.dataBits = 6;
    s.stopBits = StopBits::Two;
    s.dtr = DtrControl::Handshake;
    s.rts = RtsControl::Toggle;
    s.outX = true;
    return s;
}

TEST(DeviceDefinition, TheProgramsOwnStringGives38400N81) {
    for (const char* text :
         {"COM5: baud=38400 parity=N data=8 stop=1", "com12: BAUD=38400 Parity=n DATA=8 STOP=1",
          "baud=38400 parity=N data=8 stop=1"}) {
        SCOPED_TRACE(text);
        CommSettings s = Odd();
        ASSERT_TRUE(ParseDeviceDefinition(text, s));
        EXPECT_EQ(s.baud, 38400u);
        EXPECT_EQ(s.parity, 'N');
        EXPECT_EQ(s.dataBits, 8);
        EXPECT_EQ(s.stopBits, StopBits::One);
        EXPECT_EQ(s.dtr, DtrControl::Handshake);
        EXPECT_EQ(s.rts, RtsControl::Toggle);
        EXPECT_TRUE(s.outX);
    }
}

TEST(DeviceDefinition, KeywordForm) {
    CommSettings s = Odd();
    ASSERT_TRUE(ParseDeviceDefinition(
        "COM1: baud=96 parity=e data=7 stop=1.5 to=on xon=off odsr=on octs=on dtr=off "
        "rts=hs idsr=on",
        s));
    EXPECT_EQ(s.baud, 9600u);
    EXPECT_EQ(s.parity, 'E');
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_EQ(s.stopBits, StopBits::OneHalf);
    EXPECT_TRUE(s.timeoutOn);
    EXPECT_FALSE(s.outX);
    EXPECT_FALSE(s.inX);
    EXPECT_TRUE(s.outxDsrFlow);
    EXPECT_TRUE(s.outxCtsFlow);
    EXPECT_EQ(s.dtr, DtrControl::Disable);
    EXPECT_EQ(s.rts, RtsControl::Handshake);
    EXPECT_TRUE(s.dsrSensitivity);

    // Without stop=, the stop bits follow the rate: two at 110 baud, one otherwise.
    s = Odd();
    ASSERT_TRUE(ParseDeviceDefinition("baud=110", s));
    EXPECT_EQ(s.stopBits, StopBits::Two);
    ASSERT_TRUE(ParseDeviceDefinition("baud=19200 rts=tg dtr=hs", s));
    EXPECT_EQ(s.baud, 19200u);
    EXPECT_EQ(s.stopBits, StopBits::One);
    EXPECT_EQ(s.rts, RtsControl::Toggle);
    EXPECT_EQ(s.dtr, DtrControl::Handshake);
}

TEST(DeviceDefinition, PositionalForm) {
    CommSettings s = Odd();
    ASSERT_TRUE(ParseDeviceDefinition("COM2: 9600,n,8,1", s));
    EXPECT_EQ(s.baud, 9600u);
    EXPECT_EQ(s.parity, 'N');
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.stopBits, StopBits::One);
    EXPECT_FALSE(s.outX);
    EXPECT_EQ(s.dtr, DtrControl::Enable);
    EXPECT_EQ(s.rts, RtsControl::Enable);

    ASSERT_TRUE(ParseDeviceDefinition("19,e,7,2,x", s));
    EXPECT_EQ(s.baud, 19200u);
    EXPECT_EQ(s.stopBits, StopBits::Two);
    EXPECT_TRUE(s.outX && s.inX);

    ASSERT_TRUE(ParseDeviceDefinition("57600, o, 8, 1, p", s));
    EXPECT_EQ(s.parity, 'O');
    EXPECT_TRUE(s.outxCtsFlow && s.outxDsrFlow);
    EXPECT_EQ(s.dtr, DtrControl::Handshake);
    EXPECT_EQ(s.rts, RtsControl::Handshake);
}

TEST(DeviceDefinition, RefusalsLeaveEverythingUntouched) {
    for (const char* text :
         {"baud=", "baud=abc", "baud=0", "baud=38400 parity=Q", "data=9", "data=4", "stop=3",
          "xon=maybe", "dtr=tg", "speed=9600", "baud=9600 =8", "baud=9600 junk", "9600,n,8,1,z",
          "9600,n,8,1,x,1", ",n,8,1", "COMx: baud=9600", "COM5 baud=9600",
          "baud=9600 stop=2 parity=N data=8 octs=yes"}) {
        SCOPED_TRACE(text);
        CommSettings s = Odd();
        EXPECT_FALSE(ParseDeviceDefinition(text, s));
        EXPECT_EQ(s, Odd());
    }
    CommSettings s = Odd();
    EXPECT_TRUE(ParseDeviceDefinition("COM3:", s)) << "a bare port name changes nothing";
    EXPECT_EQ(s, Odd());
}

}  // namespace
}  // namespace tenlo
