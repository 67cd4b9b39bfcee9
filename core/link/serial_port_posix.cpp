#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/system_reason.h"
#include "link/serial_port.h"
#include "link/serial_port_list.h"

namespace core {

namespace {

class PosixSerialPort : public Transport {
  public:
    PosixSerialPort(std::string name, int fd, const Clock& clock)
        : name_(std::move(name)), fd_(fd), clock_(clock) {}
    ~PosixSerialPort() override { ::close(fd_); }

    std::string name() const override { return name_; }

    std::string write_byte(uint8_t value) override {
        for (;;) {
            ssize_t n = ::write(fd_, &value, 1);
            if (n == 1) {
                return {};
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno == EAGAIN) {
                // Output queue full: wait for room, bounded so a stuck line cannot hang us.
                pollfd p{fd_, POLLOUT, 0};
                if (::poll(&p, 1, 1000) > 0 && (p.revents & POLLOUT) != 0) {
                    continue;
                }
                return "запись не прошла за 1 с";
            }
            return system_reason(n < 0 ? errno : EIO);
        }
    }

    ReadResult read_byte(Duration deadline) override {
        // The port is non-blocking: a reply that came in during the pause before this read,
        // as the select's reply does while the boards are busy, costs one call, not two.
        uint8_t waiting = 0;
        if (::read(fd_, &waiting, 1) == 1) {
            return ReadResult::byte(waiting);
        }
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - clock_.now() + std::chrono::microseconds(999));
            // At most 50 ms at a time: the kernel lets a poll run late by 0.1 % of its
            // timeout, which would put a 59 s deadline 59 ms out.
            int timeout_ms =
                left.count() > 0 ? static_cast<int>(std::min<int64_t>(left.count(), 50)) : 0;
            pollfd p{fd_, POLLIN, 0};
            int ready = ::poll(&p, 1, timeout_ms);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready < 0) {
                return ReadResult::lost(system_reason(errno));
            }
            if (ready == 0) {
                if (clock_.now() >= deadline) {
                    return ReadResult::timeout();
                }
                continue;
            }
            uint8_t b = 0;
            ssize_t n = ::read(fd_, &b, 1);
            if (n == 1) {
                return ReadResult::byte(b);
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            // EOF or EIO: the device (or the pty's other side) has gone.
            return ReadResult::lost(n == 0 ? "устройство закрыто" : system_reason(errno));
        }
    }

    std::vector<uint8_t> discard_input() override {
        std::vector<uint8_t> dropped;
        // One ioctl when the line is quiet, as it nearly always is: this runs before every
        // select, dozens of times a second while the boards are busy.
        int pending = 0;
        if (::ioctl(fd_, FIONREAD, &pending) == 0 && pending == 0) {
            return dropped;
        }
        uint8_t buffer[256];
        for (;;) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0 || (p.revents & POLLIN) == 0) {
                break;
            }
            ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            dropped.insert(dropped.end(), buffer, buffer + n);
            if (dropped.size() > 4096) {
                break;  // a babbling line: what tcflush drops need not be listed
            }
        }
        ::tcflush(fd_, TCIFLUSH);
        return dropped;
    }

  private:
    std::string name_;
    int fd_;
    const Clock& clock_;
};

std::string configure_raw_9600(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        return system_reason(errno);
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | CS8;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        return system_reason(errno);
    }
    return {};
}

}  // namespace

std::string default_port_name() {
    return "/dev/ttyS0";
}

OpenedPort open_serial_port(const std::string& name, const Clock& clock) {
    int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return {nullptr, port_open_reason(name, errno)};
    }
    // TIOCEXCL keeps other users out, but not root; the lock keeps out a second copy of
    // our own programs whoever runs them.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        ::close(fd);
        return {nullptr,
                error == EWOULDBLOCK ? "порт занят другой программой" : system_reason(error)};
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        int error = errno;
        ::close(fd);
        return {nullptr, system_reason(error)};
    }
    std::string error = configure_raw_9600(fd);
    if (!error.empty()) {
        ::close(fd);
        return {nullptr, error};
    }
    return {std::make_unique<PosixSerialPort>(name, fd, clock), {}};
}

}  // namespace core
