#include "platform/filereveal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QObject>
#include <QProcess>
#include <QStringList>

namespace quaylet::platform {

namespace {

// A file manager that has to start first may take a while to answer.
constexpr int kFileManagerTimeoutMs = 10000;

bool KeptInAddress(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~' || c == '/';
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::string FileAddress(const std::string& path)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string address = "file://";
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (KeptInAddress(c)) {
            address += ch;
        } else {
            address += '%';
            address += digits[c >> 4];
            address += digits[c & 0xF];
        }
    }
    return address;
}

DesktopFileRevealer::DesktopFileRevealer(FileRevealerOptions options)
    : m_options(std::move(options)), m_calls(std::make_unique<QObject>())
{
}

DesktopFileRevealer::~DesktopFileRevealer() = default;

void DesktopFileRevealer::reveal(const std::string& path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(path);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList {QString::fromLatin1(FileAddress(path))} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kFileManagerTimeoutMs), m_calls.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [this, path](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (w->isError())
            openFolder(path);
        else
            report(path, RevealedBy::FileManager);
    });
}

void DesktopFileRevealer::openFolder(const std::string& path)
{
    // As an address, a folder whose name is not UTF-8 keeps its bytes.
    const bool started = QProcess::startDetached(QString::fromStdString(m_options.folderOpener),
                                                 {QString::fromLatin1(FileAddress(FolderOf(path)))});
    report(path, started ? RevealedBy::FolderOpener : RevealedBy::Nothing);
}

void DesktopFileRevealer::report(const std::string& path, RevealedBy how)
{
    if (m_options.done)
        m_options.done(path, how);
}

} // namespace quaylet::platform
