#include "support/testkeyring.h"

#include "support/sandbox.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QThread>

namespace quaylet::test {

bool Installed(const char* program)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

std::optional<std::string> Shell(const std::string& command, const std::string& input)
{
    QProcess process;
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromStdString(command)});
    if (!process.waitForStarted(10000))
        return std::nullopt;
    process.write(input.data(), static_cast<qint64>(input.size()));
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    const QByteArray out = process.readAllStandardOutput();
    return std::string(out.constData(), static_cast<std::size_t>(out.size()));
}

const char* MissingKeyringProgram()
{
    for (const char* program : {"dbus-daemon", "gnome-keyring-daemon", "secret-tool", "gdbus"})
        if (!Installed(program))
            return program;
    return nullptr;
}

void TestChild::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

PrivateSessionBus::PrivateSessionBus()
{
    const std::string config = SandboxPath("bus.conf");
    WriteFile(config, "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                      " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                      "<busconfig><type>session</type><listen>unix:dir=" +
                          SandboxDir() +
                          "</listen><auth>EXTERNAL</auth>"
                          "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                          "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    QProcess& daemon = m_daemon.process();
    daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                                                 QStringLiteral("--config-file=") + QString::fromStdString(config)});
    QElapsedTimer timer;
    timer.start();
    while (!daemon.canReadLine() && timer.elapsed() < 10000 && daemon.state() != QProcess::NotRunning)
        daemon.waitForReadyRead(100);
    m_address = QString::fromUtf8(daemon.readLine()).trimmed().toStdString();
}

TestKeyring::TestKeyring()
{
    QProcess& daemon = m_daemon.process();
    daemon.start(QStringLiteral("gnome-keyring-daemon"),
                 {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    // The daemon reads the password to the end before it serves; without an
    // event loop, the pipe is written only while waiting for it.
    daemon.waitForStarted(10000);
    daemon.write("keyring-of-the-test");
    daemon.waitForBytesWritten(10000);
    daemon.closeWriteChannel();
}

bool TestKeyring::ready()
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        const auto alias = Shell("gdbus call --session --dest org.freedesktop.secrets --object-path "
                                 "/org/freedesktop/secrets --method org.freedesktop.Secret.Service.ReadAlias "
                                 "default");
        if (alias && alias->find("/collection/login") != std::string::npos)
            return true;
        QThread::msleep(100);
    }
    return false;
}

bool TestKeyring::store(const std::string& application, const std::string& password)
{
    return Shell("secret-tool store --label='Safe Storage' application " + application, password).has_value();
}

std::string TestKeyring::search(const std::string& attribute, const std::string& value)
{
    // The secret-tool prints the secret on standard output and the attributes
    // on standard error.
    return Shell("secret-tool search --all " + attribute + " '" + value + "' 2>&1").value_or(std::string());
}

bool TestKeyring::lock()
{
    return Shell("gdbus call --session --dest org.freedesktop.secrets --object-path /org/freedesktop/secrets "
                 "--method org.freedesktop.Secret.Service.Lock "
                 "\"['/org/freedesktop/secrets/collection/login']\"")
        .has_value();
}

} // namespace quaylet::test
