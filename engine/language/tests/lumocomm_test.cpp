// The port services over a pseudo-terminal pair: the engine opens the
// terminal side as "COM1", the test plays the device on the other side.
#include "engine/language/lumocomm.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "engine/testsupport/engine_fixture.h"
#include "platform/serial.h"

namespace {

class CommTest : public zettest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    ASSERT_TRUE(platform::MapSerialDevice("COM1", ptsname(master_)));
  }
  void TearDown() override {
    if (handle_ > 0) LumoComm::CommClose(handle_);
    if (master_ >= 0) close(master_);
    platform::MapSerialDevice("COM1", "");
    EngineTest::TearDown();
  }
  void Open() {
    handle_ = LumoComm::CommOpen("com1", 1024, 1024);
    ASSERT_GT(handle_, 0);
  }
  // Writes on the device's side and waits until the port has it all: the
  // terminal layer hands bytes over asynchronously.
  void Send(const std::string& bytes) {
    uint16_t before = LumoComm::CommQuery(LumoComm::kCommIn, handle_);
    if (before == LumoComm::kQueueError) before = 0;
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    for (int waited = 0; waited < 2000; ++waited) {
      const uint16_t now = LumoComm::CommQuery(LumoComm::kCommIn, handle_);
      if (now != LumoComm::kQueueError && now >= before + bytes.size()) return;
      usleep(1000);
    }
    FAIL() << "the port did not receive " << bytes.size() << " bytes";
  }
  // Reads on the device's side until want bytes came (or two seconds passed).
  std::string Receive(size_t want) {
    std::string got;
    char buffer[512];
    for (int waited = 0; got.size() < want && waited < 2000; ++waited) {
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n > 0) got.append(buffer, size_t(n));
      else usleep(1000);
    }
    return got;
  }
  termios Line() {
    termios t{};
    EXPECT_EQ(tcgetattr(handle_, &t), 0);
    return t;
  }

  int master_ = -1;
  int32_t handle_ = -1;
};

TEST_F(CommTest, ReadsWhatArrivedAndWritesThrough) {
  Open();
  EXPECT_EQ(LumoComm::CommRead(handle_, 10).str(), "");  // nothing yet: no wait, no error
  EXPECT_EQ(LumoComm::ErrorWord(), 0);
  Send("ATZ\r\nOK");
  EXPECT_EQ(LumoComm::CommRead(handle_, 4).str(), "ATZ\r");
  EXPECT_EQ(LumoComm::CommRead(handle_, 100).str(), "\nOK");
  EXPECT_EQ(LumoComm::CommWrite(handle_, std::string("AT DT 123\r\0\xFF", 12)), 12);
  EXPECT_EQ(Receive(12), std::string("AT DT 123\r\0\xFF", 12));
  EXPECT_EQ(LumoComm::CommClose(handle_), 0);
  handle_ = -1;
}

TEST_F(CommTest, AReadTakesAtMost255Bytes) {
  Open();
  std::string data;
  for (int i = 0; i < 600; ++i) data += char('A' + i % 26);
  Send(data);
  const std::string first = LumoComm::CommRead(handle_, 1000).str();
  EXPECT_EQ(first, data.substr(0, 255));
  EXPECT_EQ(LumoComm::CommRead(handle_, 255).str(), data.substr(255, 255));
  EXPECT_EQ(LumoComm::CommRead(handle_, 1000).str(), data.substr(510));
  EXPECT_EQ(LumoComm::CommRead(handle_, -5).str(), "");
}

TEST(CommModeState, ParityAndStopCodesMapToTheLineState) {
  struct Case {
    int32_t parity, stop;
    uint8_t wantParity, wantStop;
  } cases[] = {
      {1, 1, platform::kParityOdd, platform::kStopOne},
      {2, 2, platform::kParityEven, platform::kStopOneAndHalf},
      {0, 3, platform::kParityNone, platform::kStopTwo},
      {3, 0, platform::kParityNone, platform::kStopOne},  // mark is none here
      {-1, 4, platform::kParityNone, platform::kStopOne},
  };
  platform::SerialState current;
  current.flags = 0x0203;
  for (const Case& c : cases) {
    const platform::SerialState s = LumoComm::ModeState(current, 115200, 7, c.parity, c.stop, 0);
    EXPECT_EQ(s.baudRate, 115200);
    EXPECT_EQ(s.byteSize, 7);
    EXPECT_EQ(s.parity, c.wantParity) << c.parity;
    EXPECT_EQ(s.stopBits, c.wantStop) << c.stop;
    EXPECT_EQ(s.flags, 0x0203u);
  }
  // A flags word with the high bit set widens with its sign.
  EXPECT_EQ(LumoComm::ModeState(current, 9600, 8, 0, 0, int16_t(-32767)).flags, 0xFFFF8001u);
}

TEST_F(CommTest, ModeSetsRatesUpTo115200AndStopBitsOnTheLine) {
  Open();
  // A pseudo terminal keeps the rate and the stop bits (not parity or size).
  struct Case {
    int32_t baud, stop;
    speed_t speed;
    bool twoStop;
  } cases[] = {
      {57600, 1, B57600, false}, {115200, 3, B115200, true}, {9600, 2, B9600, true},
      {38400, 0, B38400, false}, {300, 3, B300, true},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(LumoComm::CommMode(handle_, c.baud, 8, 2, c.stop, 0, 0), 0) << c.baud;
    const termios t = Line();
    EXPECT_EQ(cfgetospeed(&t), c.speed) << c.baud;
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStop) << c.baud;
  }
  // Rates and sizes the line has no setting for fail, and change nothing.
  for (int32_t baud : {14400, 0, -25536}) EXPECT_EQ(LumoComm::CommMode(handle_, baud, 8, 0, 1, 0, 0), -1);
  EXPECT_EQ(LumoComm::CommMode(handle_, 9600, 9, 0, 1, 0, 0), -1);
  const termios kept = Line();
  EXPECT_EQ(cfgetospeed(&kept), B300);
}

TEST_F(CommTest, ControlFlagsZeroKeepThePortsFlags) {
  Open();
  const int16_t xonXoff = int16_t(platform::kSerialBinary | platform::kSerialXonXoffOut |
                                  platform::kSerialXonXoffIn);
  ASSERT_EQ(LumoComm::CommMode(handle_, 19200, 8, 0, 1, 0, xonXoff), 0);
  EXPECT_NE(Line().c_iflag & IXON, 0u);
  ASSERT_EQ(LumoComm::CommMode(handle_, 19200, 8, 0, 1, 0, 0), 0);
  EXPECT_NE(Line().c_iflag & IXOFF, 0u);
  EXPECT_EQ(LumoComm::SavedControlFlags(), uint16_t(xonXoff));
  ASSERT_EQ(LumoComm::CommMode(handle_, 19200, 8, 0, 1, 0, int16_t(platform::kSerialBinary)), 0);
  EXPECT_EQ(Line().c_iflag & (IXON | IXOFF), 0u);
}

TEST_F(CommTest, QueueQueriesCountReceiveAndSendQueuesApart) {
  Open();
  Send("0123456789");
  EXPECT_EQ(LumoComm::CommQuery(LumoComm::kCommIn, handle_), 10);
  EXPECT_EQ(LumoComm::CommQuery(LumoComm::kCommOut, handle_), 0);  // nothing waits to be sent
  EXPECT_EQ(LumoComm::CommQuery(LumoComm::kCommState, handle_), 0);
  EXPECT_EQ(LumoComm::ErrorWord(), 0);
  EXPECT_EQ(LumoComm::CommQuery(9, handle_), LumoComm::kQueueError);
  EXPECT_EQ(LumoComm::CommRead(handle_, 255).size(), 10u);
  EXPECT_EQ(LumoComm::CommQuery(LumoComm::kCommIn, handle_), 0);
}

TEST_F(CommTest, AVanishedPortFailsAtOnce) {
  Open();
  ASSERT_EQ(LumoComm::CommMode(handle_, 115200, 8, 0, 1, 0, 0), 0);
  close(master_);
  master_ = -1;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(LumoComm::CommRead(handle_, 10).str(), "");
  EXPECT_EQ(LumoComm::ErrorWord(), -1);
  EXPECT_LT(LumoComm::CommWrite(handle_, "hello"), 0);
  EXPECT_EQ(LumoComm::CommQuery(LumoComm::kCommIn, handle_), LumoComm::kQueueError);
  EXPECT_EQ(LumoComm::CommQuery(LumoComm::kCommOut, handle_), LumoComm::kQueueError);
  EXPECT_EQ(LumoComm::CommQuery(LumoComm::kCommState, handle_), LumoComm::kQueueError);
  EXPECT_EQ(LumoComm::ErrorWord(), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST_F(CommTest, OpenFailuresAndForeignHandles) {
  Open();
  EXPECT_EQ(LumoComm::CommOpen("COM1", 0, 0), -1);  // in use
  ASSERT_TRUE(platform::MapSerialDevice("COM7", TempPath("missing")));
  EXPECT_EQ(LumoComm::CommOpen("COM7", 0, 0), -1);
  platform::MapSerialDevice("COM7", "");
  // Numbers that are no open port never reach a descriptor of the process.
  const int other = open("/dev/null", O_RDWR);
  ASSERT_GE(other, 0);
  for (int32_t h : {0, 1, 2, other, 12345, -1}) {
    EXPECT_EQ(LumoComm::CommRead(h, 10).str(), "") << h;
    EXPECT_EQ(LumoComm::ErrorWord(), -1) << h;
    EXPECT_EQ(LumoComm::CommWrite(h, "x"), -1) << h;
    EXPECT_EQ(LumoComm::CommMode(h, 9600, 8, 0, 1, 0, 0), -1) << h;
    EXPECT_EQ(LumoComm::CommQuery(LumoComm::kCommIn, h), LumoComm::kQueueError) << h;
    EXPECT_EQ(LumoComm::CommClose(h), 0) << h;
  }
  EXPECT_NE(fcntl(other, F_GETFD), -1);  // not closed by CommClose
  close(other);
  // A closed port is no port any more; the device can be opened again.
  LumoComm::CommClose(handle_);
  EXPECT_EQ(LumoComm::CommWrite(handle_, "x"), -1);
  handle_ = LumoComm::CommOpen("COM1", 0, 0);
  EXPECT_GT(handle_, 0);
}

}  // namespace
