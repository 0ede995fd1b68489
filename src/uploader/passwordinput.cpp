#include "uploader/passwordinput.h"

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

std::optional<std::string> readLine(int fd)
{
    std::string line;
    char c = 0;
    bool any = false;
    for (;;) {
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

std::optional<std::string> ReadPassword(int inputFd, int promptFd, const std::string& prompt)
{
    if (!::isatty(inputFd))
        return readLine(inputFd);
    [[maybe_unused]] auto n = ::write(promptFd, prompt.data(), prompt.size());
    EchoOff quiet(inputFd);
    return readLine(inputFd);
}

} // namespace quaylet
