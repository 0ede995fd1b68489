#include "uploader/passwordinput.h"

#include <cerrno>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace quaylet {

namespace {

// Restores the terminal's echo however the read ends.
class EchoOff final {
public:
    explicit EchoOff(int fd) : m_fd(fd)
    {
        if (::tcgetattr(fd, &m_saved) != 0)
            return;
        termios quiet = m_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        m_active = ::tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff()
    {
        if (m_active)
            ::tcsetattr(m_fd, TCSAFLUSH, &m_saved);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int m_fd;
    termios m_saved {};
    bool m_active = false;
};

// Waits until fd has input; false when wakeFd became readable first.
bool awaitInput(int fd, int wakeFd)
{
    pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    int ready = 0;
    do {
        ready = ::poll(fds, 2, -1);
    } while (ready < 0 && errno == EINTR);
    // A failed poll lets the read report what is wrong.
    return ready < 0 || fds[1].revents == 0;
}

std::optional<std::string> readLine(int fd, int wakeFd, bool& woken)
{
    std::string line;
    char c = 0;
    bool any = false;
    for (;;) {
        if (!awaitInput(fd, wakeFd)) {
            woken = true;
            return std::nullopt;
        }
        const ssize_t n = ::read(fd, &c, 1);
        if (n <= 0)
            break;
        any = true;
        if (c == '\n')
            break;
        line.push_back(c);
    }
    if (!any)
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

} // namespace

std::optional<std::string> ReadPassword(int inputFd, int promptFd, const std::string& prompt, int wakeFd)
{
    bool woken = false;
    if (!::isatty(inputFd))
        return readLine(inputFd, wakeFd, woken);
    std::optional<std::string> line;
    [[maybe_unused]] ssize_t n = 0;
    {
        // Turning echo off flushes the terminal's pending input, so the prompt
        // shows only afterwards: whatever is typed once it shows is kept.
        EchoOff quiet(inputFd);
        n = ::write(promptFd, prompt.data(), prompt.size());
        line = readLine(inputFd, wakeFd, woken);
    }
    // No line feed was typed, so nothing has ended the prompt's line.
    if (woken)
        n = ::write(promptFd, "\n", 1);
    return line;
}

} // namespace quaylet
