#include "PseudoTerminal.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace adaptersim {

namespace {

[[noreturn]] void Fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

PseudoTerminal::PseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) {
        Fail("posix_openpt");
    }
    try {
        if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            Fail("grantpt/unlockpt");
        }
        const char* name = ::ptsname(master_);
        if (!name) {
            Fail("ptsname");
        }
        slavePath_ = QString::fromLocal8Bit(name);
        slaveHold_ = ::open(name, O_RDWR | O_NOCTTY);
        if (slaveHold_ < 0) {
            Fail("open slave");
        }
        // Raw bytes both ways: no echo, no line editing, no translation of CR or LF.
        termios raw{};
        if (::tcgetattr(slaveHold_, &raw) != 0) {
            Fail("tcgetattr");
        }
        ::cfmakeraw(&raw);
        ::cfsetispeed(&raw, B9600);
        ::cfsetospeed(&raw, B9600);
        if (::tcsetattr(slaveHold_, TCSANOW, &raw) != 0) {
            Fail("tcsetattr");
        }
        // The adapter must never block on a line that nobody reads.
        const int flags = ::fcntl(master_, F_GETFL);
        if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
            Fail("fcntl");
        }
    } catch (...) {
        if (slaveHold_ >= 0) {
            ::close(slaveHold_);
        }
        ::close(master_);
        throw;
    }
}

PseudoTerminal::~PseudoTerminal() {
    ::close(slaveHold_);
    ::close(master_);
}

} // namespace adaptersim
