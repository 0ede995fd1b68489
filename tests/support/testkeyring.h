#pragma once

// A keyring of the test's own: a session bus listening in the sandbox, and a
// keyring daemon serving the Secret Service on it with a login keyring made
// and unlocked under $XDG_DATA_HOME. Tests point DBUS_SESSION_BUS_ADDRESS at
// the bus themselves.

#include <QProcess>

#include <optional>
#include <string>

namespace quaylet::test {

bool Installed(const char* program);

// The programs a keyring of the test's own needs, or nullptr when all are
// there; a test skips naming the missing one.
const char* MissingKeyringProgram();

// Runs a shell command with `input` on its standard input; its standard
// output, or nothing when it fails.
std::optional<std::string> Shell(const std::string& command, const std::string& input = {});

// A child process stopped and waited for when the object goes.
class TestChild final {
  public:
    TestChild() = default;
    ~TestChild() { stop(); }
    TestChild(const TestChild&) = delete;
    TestChild& operator=(const TestChild&) = delete;

    QProcess& process() { return m_process; }
    void stop();

  private:
    QProcess m_process;
};

// A session bus listening in the sandbox, with no services to start on
// demand: a keyring is there only while the test runs one.
class PrivateSessionBus final {
  public:
    PrivateSessionBus();
    const std::string& address() const { return m_address; }

  private:
    TestChild m_daemon;
    std::string m_address;
};

// A keyring daemon serving the Secret Service on the session bus of
// DBUS_SESSION_BUS_ADDRESS.
class TestKeyring final {
  public:
    TestKeyring();
    // Until the login keyring is there as the default, storing would ask the
    // user to make one.
    bool ready();
    // Stores a browser's password.
    bool store(const std::string& application, const std::string& password);
    // What `secret-tool search --all` prints for the attribute and value.
    std::string search(const std::string& attribute, const std::string& value);
    bool lock();
    void stop() { m_daemon.stop(); }

  private:
    TestChild m_daemon;
};

} // namespace quaylet::test
