#include "cli/ports_command.h"

#include <gtest/gtest.h>

#include "cli/json_writer.h"

namespace tenlo::cli {
namespace {

TEST(JsonWriter, NestsAndSeparatesValues) {
    CJsonWriter json;
    json.BeginObject().Key("a").BeginArray();
    json.Number(-3).Bool(true).Null().BeginObject().EndObject().BeginArray().EndArray();
    json.EndArray().Key("b").String("x").Key("c").BeginObject().Key("d").Number(0);
    json.EndObject().EndObject();
    EXPECT_EQ(json.Text(), R"({"a":[-3,true,null,{},[]],"b":"x","c":{"d":0}})");
}

TEST(JsonWriter, EscapesWhatJsonMustAndReplacesBrokenUtf8) {
    EXPECT_EQ(CJsonWriter::Quote("say \"hi\"\\ now"), R"("say \"hi\"\\ now")");
    EXPECT_EQ(CJsonWriter::Quote("a\nb\tc\rd\x01"
                                 "e\x1f\x7f"),
              R"("a\nb\tc\rd\u0001e\u001f\u007f")");
    // Whole characters pass; a cut sequence, a stray continuation byte, an overlong form and a
    // surrogate each become U+FFFD.
    EXPECT_EQ(CJsonWriter::Quote("ポート é €𝄞"), "\"ポート é €𝄞\"");
    EXPECT_EQ(CJsonWriter::Quote("x\xE3\x83"), R"("x\ufffd\ufffd")");
    EXPECT_EQ(CJsonWriter::Quote("\x80y"), R"("\ufffdy")");
    EXPECT_EQ(CJsonWriter::Quote("\xC0\xAF"), R"("\ufffd\ufffd")");
    EXPECT_EQ(CJsonWriter::Quote("\xED\xA0\x80"), R"("\ufffd\ufffd\ufffd")");
    EXPECT_EQ(CJsonWriter::Quote(std::string("nul\0in", 6)), R"("nul\u0000in")");
}

std::vector<SerialPortInfo> TwoPorts() {
    SerialPortInfo ftdi;
    ftdi.device = "/dev/ttyUSB0";
    ftdi.byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    ftdi.kind = PortKind::UsbSerial;
    ftdi.vendorId = "0403";
    ftdi.productId = "6001";
    ftdi.manufacturer = "FTDI";
    ftdi.product = "FT232R USB UART";
    ftdi.serial = "A50285BI";
    ftdi.comNumbers = {3};
    ftdi.mayOpen = false;
    ftdi.group = "dialout";
    SerialPortInfo pty;
    pty.device = "/dev/pts/4";
    pty.kind = PortKind::PseudoTerminal;
    pty.comNumbers = {5, 7};
    pty.mayOpen = true;
    pty.group = "tty";
    return {ftdi, pty};
}

TEST(PortsCommand, OneAlignedLinePerPortAndAdviceForThoseThatWillNotOpen) {
    EXPECT_EQ(PortsTable(TwoPorts()),
              "COM3       /dev/ttyUSB0  usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0  "
              "FT232R USB UART by FTDI, serial A50285BI  permission denied (group dialout)\n"
              "COM5,COM7  /dev/pts/4    -                                             "
              "pseudo-terminal                           may open\n"
              "note: permission denied on /dev/ttyUSB0: add yourself to the group that owns it "
              "(dialout): sudo usermod -aG dialout $USER, then log in again\n");
    EXPECT_EQ(PortsTable({}), "no serial ports found\n");

    // A device's own name cannot reach the terminal as control characters.
    std::vector<SerialPortInfo> odd = TwoPorts();
    odd[0].product = "evil\x1b[2J";
    EXPECT_NE(PortsTable(odd).find("evil\\x1B[2J"), std::string::npos);
}

TEST(PortsCommand, JsonHoldsEveryFieldWithNullForWhatIsUnknown) {
    EXPECT_EQ(PortsJson(TwoPorts()),
              R"({"ports":[{"com":["COM3"],"device":"/dev/ttyUSB0",)"
              R"("byId":"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",)"
              R"("kind":"usb-serial","vendorId":"0403","productId":"6001","manufacturer":"FTDI",)"
              R"("product":"FT232R USB UART","serial":"A50285BI",)"
              R"("description":"FT232R USB UART by FTDI, serial A50285BI","mayOpen":false,)"
              R"("group":"dialout"},)"
              R"({"com":["COM5","COM7"],"device":"/dev/pts/4","byId":null,"kind":"pty",)"
              R"("vendorId":null,"productId":null,"manufacturer":null,"product":null,)"
              R"("serial":null,"description":"pseudo-terminal","mayOpen":true,"group":"tty"}]})"
              "\n");
    EXPECT_EQ(PortsJson({}), "{\"ports\":[]}\n");
}

}  // namespace
}  // namespace tenlo::cli
