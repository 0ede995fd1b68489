#include "mainwindowfixture.h"

#include "core/logfile.h"
#include "credentials/profile.h"
#include "support/sandbox.h"
#include "update/browserlaunch.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QThread>

#include <filesystem>

namespace quaylet::test {

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

void WritePhoto(const std::string& path, int seed)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    QImage image(640, 480, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(image.rect(), QColor::fromHsv((seed * 47) % 360, 160, 200));
    painter.setBrush(QColor(255, 236, 170));
    painter.drawEllipse(QPoint(200 + seed * 30, 180), 90, 90);
    painter.end();
    // Written through bytes: the path may hold names that are not UTF-8.
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    WriteFile(path, jpeg.toStdString());
}

QByteArray UriList(const std::vector<std::string>& paths)
{
    QByteArray list;
    for (const std::string& path : paths)
        list += "file://" + QByteArray(path.data(), qsizetype(path.size())).toPercentEncoding("/") + "\r\n";
    return list;
}

MainWindowFixture::MainWindowFixture(ServiceAccount account, const std::vector<std::string>& faults)
    : m_dataDir(SandboxPath("service-data"))
{
    std::string config = std::string("[account ") + kUser + "]\npassword = " + kPassword +
                         "\npremium = " + (account.premium ? "1" : "0") +
                         "\nphoto_limit = " + std::to_string(account.photoLimit) + "\nvideo_limit = 10\n";
    for (const std::string& fault : faults)
        config += "[faults]\nfault = " + fault + "\n";
    WriteFile(SandboxPath("service.conf"), config);
    std::filesystem::create_directories(m_dataDir);
    m_server = std::make_unique<DevServerProcess>(m_dataDir,
                                                  std::vector<std::string>{"--config", SandboxPath("service.conf")});
    qputenv("QUAYLET_SERVICE_URL", QByteArray::fromStdString(m_server->origin()));
    OpenLog("Quaylet.log");
    SetBrowserStarter([this](const std::string&, const std::vector<std::string>& arguments) {
        openedPages.push_back(arguments.empty() ? std::string() : arguments.back());
        return true;
    });
}

MainWindowFixture::~MainWindowFixture()
{
    SetBrowserStarter({});
}

void MainWindowFixture::StoreCredentials()
{
    SaveCredentials(CProfile(kUser, kPassword));
}

std::unique_ptr<CKestrelioClientDlg> MainWindowFixture::MakeWindow(MainWindowSeams seams, bool visible)
{
    if (!seams.makeTray) {
        seams.makeTray = [this] {
            auto fake = std::make_unique<RecordingTrayIcon>();
            tray = fake.get();
            return fake;
        };
    }
    if (!seams.runDialog) {
        seams.runDialog = [this](QDialog& dialog) {
            dialogsRun.emplace_back(dialog.metaObject()->className());
            if (answerDialog)
                return answerDialog(dialog);
            if (dialogsRun.back() == "quaylet::CUploadCompletedDlg") {
                QMetaObject::invokeMethod(&dialog, [&dialog] { dialog.accept(); }, Qt::QueuedConnection);
                return dialog.exec();
            }
            return int(QDialog::Rejected);
        };
    }
    if (!seams.connectionChecks.desktop)
        seams.connectionChecks.desktop = [] { return Reachability::Unknown; };
    seams.pollNotifications = false;
    if (!seams.firstShown)
        seams.firstShown = [this](QWidget&) { ++firstShowings; };
    MainWindowStart start;
    start.visible = visible;
    return std::make_unique<CKestrelioClientDlg>(start, std::move(seams));
}

int MainWindowFixture::StoredUploads() const
{
    int count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_dataDir))
        count += entry.path().filename() == "fields.txt" ? 1 : 0;
    return count;
}

std::string MainWindowFixture::Log() const
{
    return ReadFile(SandboxPath("work/Quaylet.log"));
}

} // namespace quaylet::test
