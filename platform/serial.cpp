#include "platform/serial.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <utility>

#include "platform/clock.h"

namespace platform {
namespace {

struct OpenPort {
  serial_icounter_struct counts{};  // line error counters at the last query
  bool counted = false;             // the device keeps counters
};

std::map<SerialHandle, OpenPort>& Ports() {
  static std::map<SerialHandle, OpenPort> ports;
  return ports;
}

std::map<int, std::string>& Mappings() {
  static std::map<int, std::string> mappings;
  return mappings;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

// The number of a DOS COM name, 0 when name is none.
int ComNumber(std::string_view name) {
  if (name.substr(0, 4) == "\\\\.\\") name.remove_prefix(4);
  if (!name.empty() && name.back() == ':') name.remove_suffix(1);
  if (name.size() < 4 || name.size() > 6) return 0;
  if (Upper(name[0]) != 'C' || Upper(name[1]) != 'O' || Upper(name[2]) != 'M') return 0;
  int n = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  return n >= 1 && n <= 255 && name[3] != '0' ? n : 0;
}

struct BaudEntry {
  int32_t rate;
  speed_t speed;
};
constexpr BaudEntry kBauds[] = {
    {50, B50},       {75, B75},       {110, B110},     {134, B134},       {150, B150},
    {200, B200},     {300, B300},     {600, B600},     {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},   {9600, B9600},   {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool SpeedOf(int32_t rate, speed_t& speed) {
  for (const BaudEntry& b : kBauds) {
    if (b.rate == rate) {
      speed = b.speed;
      return true;
    }
  }
  return false;
}

int32_t RateOf(speed_t speed) {
  for (const BaudEntry& b : kBauds) {
    if (b.speed == speed) return b.rate;
  }
  return 0;
}

// True when the other side of the line is gone.
bool HungUp(int fd) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, 0) < 0) return true;
  return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

OpenPort* Find(SerialHandle handle) {
  auto it = Ports().find(handle);
  return it == Ports().end() ? nullptr : &it->second;
}

}  // namespace

std::string SerialDevice(std::string_view name) {
  const int n = ComNumber(name);
  if (n == 0) return std::string(name);
  if (auto it = Mappings().find(n); it != Mappings().end()) return it->second;
  const std::string variable = "QMK_COM" + std::to_string(n);
  if (const char* env = std::getenv(variable.c_str()); env != nullptr && *env != '\0') return env;
  return "/dev/ttyS" + std::to_string(n - 1);
}

bool MapSerialDevice(std::string_view name, std::string_view device) {
  const int n = ComNumber(name);
  if (n == 0) return false;
  if (device.empty()) {
    Mappings().erase(n);
  } else {
    Mappings()[n] = std::string(device);
  }
  return true;
}

SerialHandle SerialOpen(std::string_view name) {
  const std::string device = SerialDevice(name);
  if (device.empty()) return kNoSerial;
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kNoSerial;
  termios t{};
  // Exclusive use: the advisory lock holds against every other open, the
  // terminal's own exclusive mode against programs that do not lock.
  if (!isatty(fd) || tcgetattr(fd, &t) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return kNoSerial;
  }
  ioctl(fd, TIOCEXCL);
  const speed_t in = cfgetispeed(&t);
  const speed_t out = cfgetospeed(&t);
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, in);
  cfsetospeed(&t, out);
  if (tcsetattr(fd, TCSANOW, &t) != 0) {
    close(fd);
    return kNoSerial;
  }
  OpenPort port;
  port.counted = ioctl(fd, TIOCGICOUNT, &port.counts) == 0;
  Ports()[fd] = port;
  return fd;
}

bool SerialClose(SerialHandle handle) {
  if (Find(handle) == nullptr) return false;
  Ports().erase(handle);
  close(handle);
  return true;
}

bool SerialIsOpen(SerialHandle handle) { return Find(handle) != nullptr; }

bool SerialSetQueueSizes(SerialHandle handle, uint32_t, uint32_t) { return SerialIsOpen(handle); }

bool SerialGetState(SerialHandle handle, SerialState& state) {
  termios t{};
  if (Find(handle) == nullptr || tcgetattr(handle, &t) != 0) return false;
  state = SerialState{};
  state.baudRate = RateOf(cfgetospeed(&t));
  switch (t.c_cflag & CSIZE) {
    case CS5: state.byteSize = 5; break;
    case CS6: state.byteSize = 6; break;
    case CS7: state.byteSize = 7; break;
    default: state.byteSize = 8; break;
  }
  state.parity = (t.c_cflag & PARENB) == 0 ? kParityNone
                 : (t.c_cflag & PARODD) != 0 ? kParityOdd
                                             : kParityEven;
  state.stopBits = (t.c_cflag & CSTOPB) == 0 ? kStopOne : state.byteSize == 5 ? kStopOneAndHalf : kStopTwo;
  state.flags = kSerialBinary;
  if (t.c_iflag & INPCK) state.flags |= kSerialParityCheck;
  if (t.c_cflag & CRTSCTS) state.flags |= kSerialCtsFlow;
  if (t.c_iflag & IXON) state.flags |= kSerialXonXoffOut;
  if (t.c_iflag & IXOFF) state.flags |= kSerialXonXoffIn;
  return true;
}

bool ApplySerialState(termios& t, const SerialState& state) {
  speed_t speed = B0;
  if (!SpeedOf(state.baudRate, speed)) return false;
  tcflag_t size = 0;
  switch (state.byteSize) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return false;
  }
  t.c_cflag = (t.c_cflag & ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS)) | size;
  if (state.parity == kParityOdd) t.c_cflag |= PARENB | PARODD;
  if (state.parity == kParityEven) t.c_cflag |= PARENB;
  if (state.stopBits == kStopOneAndHalf || state.stopBits == kStopTwo) t.c_cflag |= CSTOPB;
  if (state.flags & kSerialCtsFlow) t.c_cflag |= CRTSCTS;
  t.c_iflag &= ~(INPCK | IXON | IXOFF);
  if (state.flags & kSerialParityCheck) t.c_iflag |= INPCK;
  if (state.flags & kSerialXonXoffOut) t.c_iflag |= IXON;
  if (state.flags & kSerialXonXoffIn) t.c_iflag |= IXOFF;
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  return true;
}

bool SerialSetState(SerialHandle handle, const SerialState& state) {
  termios t{};
  if (Find(handle) == nullptr || tcgetattr(handle, &t) != 0) return false;
  if (!ApplySerialState(t, state) || tcsetattr(handle, TCSANOW, &t) != 0) return false;
  // tcsetattr succeeds when any part was taken; the rate must be among it.
  termios now{};
  return tcgetattr(handle, &now) == 0 && cfgetospeed(&now) == cfgetospeed(&t);
}

int32_t SerialRead(SerialHandle handle, void* buffer, size_t count) {
  if (Find(handle) == nullptr) return -1;
  if (count == 0) return 0;
  const ssize_t n = read(handle, buffer, count);
  if (n > 0) return int32_t(n);
  if (n < 0 && errno != EAGAIN && errno != EINTR) return -1;
  // Nothing arrived, or the line is gone: only the second is a failure.
  return HungUp(handle) ? -1 : 0;
}

int32_t SerialWrite(SerialHandle handle, const void* data, size_t count, size_t& written) {
  written = 0;
  if (Find(handle) == nullptr) return -1;
  const auto* bytes = static_cast<const uint8_t*>(data);
  const uint64_t deadline = TickCountMs() + kWriteWaitMs;
  while (written < count) {
    const ssize_t n = write(handle, bytes + written, count - written);
    if (n > 0) {
      written += size_t(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return -1;
    const uint64_t now = TickCountMs();
    if (now >= deadline) break;
    pollfd p{handle, POLLOUT, 0};
    if (poll(&p, 1, int(deadline - now)) < 0 && errno != EINTR) return -1;
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return -1;
  }
  return int32_t(written);
}

bool SerialQuery(SerialHandle handle, SerialQueues& queues) {
  OpenPort* port = Find(handle);
  if (port == nullptr) return false;
  queues = SerialQueues{};
  int received = 0;
  int toSend = 0;
  if (ioctl(handle, FIONREAD, &received) != 0 || ioctl(handle, TIOCOUTQ, &toSend) != 0) return false;
  if (received == 0 && HungUp(handle)) return false;
  queues.received = uint32_t(received);
  queues.toSend = uint32_t(toSend);
  serial_icounter_struct counts{};
  if (port->counted && ioctl(handle, TIOCGICOUNT, &counts) == 0) {
    if (counts.buf_overrun != port->counts.buf_overrun) queues.errors |= 0x01;
    if (counts.overrun != port->counts.overrun) queues.errors |= 0x02;
    if (counts.parity != port->counts.parity) queues.errors |= 0x04;
    if (counts.frame != port->counts.frame) queues.errors |= 0x08;
    if (counts.brk != port->counts.brk) queues.errors |= 0x10;
    port->counts = counts;
  }
  termios t{};
  int lines = 0;
  if (tcgetattr(handle, &t) == 0 && (t.c_cflag & CRTSCTS) != 0 && ioctl(handle, TIOCMGET, &lines) == 0 &&
      (lines & TIOCM_CTS) == 0) {
    queues.status |= kSerialCtsHold;
  }
  return true;
}

}  // namespace platform
