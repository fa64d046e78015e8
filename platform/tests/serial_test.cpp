#include "platform/serial.h"

#include <gtest/gtest.h>

#include <termios.h>

#include <cstdlib>

namespace {

TEST(SerialNames, DosNamesMapToDevicesOtherNamesAreDevices) {
  ASSERT_TRUE(platform::MapSerialDevice("com2", "/tmp/port-two"));
  setenv("QMK_COM3", "/tmp/port-three", 1);
  unsetenv("QMK_COM12");
  struct Case {
    const char* name;
    const char* device;
  } cases[] = {
      {"COM2", "/tmp/port-two"},         {"Com2:", "/tmp/port-two"},
      {"\\\\.\\COM2", "/tmp/port-two"},  {"COM3", "/tmp/port-three"},
      {"COM12", "/dev/ttyS11"},          {"COM0", "COM0"},
      {"COM256", "COM256"},              {"COMX", "COMX"},
      {"/dev/ttyUSB0", "/dev/ttyUSB0"},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::SerialDevice(c.name), c.device) << c.name;
  EXPECT_TRUE(platform::MapSerialDevice("COM2", ""));
  EXPECT_EQ(platform::SerialDevice("COM2"), "/dev/ttyS1");
  EXPECT_FALSE(platform::MapSerialDevice("LPT1", "/tmp/x"));
  unsetenv("QMK_COM3");
}

TEST(SerialNames, OnlyTerminalsOpen) {
  EXPECT_EQ(platform::SerialOpen("/nonexistent/tty"), platform::kNoSerial);
  EXPECT_EQ(platform::SerialOpen("/etc/hostname"), platform::kNoSerial);
  EXPECT_EQ(platform::SerialOpen("/dev/null"), platform::kNoSerial);
}

}  // namespace

namespace {

TEST(SerialState, BuildsTerminalSettings) {
  struct Case {
    platform::SerialState state;
    bool ok;
    tcflag_t cflags;  // of CSIZE, PARENB, PARODD, CSTOPB, CRTSCTS
    tcflag_t iflags;  // of INPCK, IXON, IXOFF
    speed_t speed;
  } cases[] = {
      {{57600, 8, platform::kParityNone, platform::kStopOne, platform::kSerialBinary}, true, CS8, 0, B57600},
      {{115200, 7, platform::kParityEven, platform::kStopTwo, 1}, true, CS7 | PARENB | CSTOPB, 0, B115200},
      {{9600, 5, platform::kParityOdd, platform::kStopOneAndHalf, 1}, true, CS5 | PARENB | PARODD | CSTOPB, 0,
       B9600},
      {{2400, 6, platform::kParityNone, platform::kStopOne,
        platform::kSerialParityCheck | platform::kSerialCtsFlow | platform::kSerialXonXoffOut |
            platform::kSerialXonXoffIn},
       true, CS6 | CRTSCTS, INPCK | IXON | IXOFF, B2400},
      {{14400, 8, 0, 0, 1}, false, 0, 0, 0},
      {{9600, 9, 0, 0, 1}, false, 0, 0, 0},
      {{9600, 4, 0, 0, 1}, false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    termios t{};
    t.c_cflag = CS8 | PARENB | PARODD | CSTOPB | CRTSCTS | CREAD;
    t.c_iflag = INPCK | IXON | IXOFF;
    ASSERT_EQ(platform::ApplySerialState(t, c.state), c.ok) << c.state.baudRate;
    if (!c.ok) continue;
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS), c.cflags) << c.state.baudRate;
    EXPECT_EQ(t.c_iflag & (INPCK | IXON | IXOFF), c.iflags) << c.state.baudRate;
    EXPECT_NE(t.c_cflag & CREAD, 0u);
    EXPECT_EQ(cfgetospeed(&t), c.speed);
    EXPECT_EQ(cfgetispeed(&t), c.speed);
  }
}

}  // namespace
