// quaylet-clientshots: renders the real drop window, signed in against the
// service that QUAYLET_SERVICE_URL names, in each state a user sees, and its
// two menus, one PNG each, as the screen shows them.
//
//   quaylet-clientshots --render DIR USER PASSWORD
//
// It stores USER's credentials in the XDG_CONFIG_HOME it is given, so run it
// with private folders; scripts/screenshots does that on a private Xvfb with
// the development service.

#include "credentials/profile.h"
#include "dialogs/uploadhistorywnd.h"
#include "engine/transferengine.h"
#include "screencapture/screencapture.h"
#include "skin/skingallery.h"
#include "window/mainwindow.h"
#include "window/mainwindowview.h"
#include "window/menucommands.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QMenu>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>
#include <string>

namespace quaylet {
namespace {

constexpr QPoint kRenderAt(40, 40);

// No tray on a bare X server: the pictures show the window alone.
class QuietTray final : public ITrayIcon {
public:
    bool trayAvailable() const override { return true; }
    void add(const QIcon&, const QString&) override {}
    void setToolTip(const QString&) override {}
    void showBalloon(const TrayBalloon&) override {}
    void removeBalloon() override {}
    void remove() override {}
};

QString WriteSamplePhoto(const QTemporaryDir& folder)
{
    const QString path = folder.filePath(QStringLiteral("beach.jpg"));
    DrawSamplePhoto().save(path, "JPEG", 90);
    return path;
}

// A history of every state, as a busy afternoon leaves it.
std::vector<StoredRow> SampleHistory()
{
    const int64_t now = QDateTime::currentSecsSinceEpoch();
    const struct {
        const char* path;
        StoredState state;
        int result;
        int64_t size;
        int64_t ago;
    } samples[] = {
        {"/home/alice/Pictures/Harbour/IMG_2041.jpg", StoredState::Uploading, 0, 3'412'992, 0},
        {"/home/alice/Pictures/Harbour/IMG_2042.jpg", StoredState::Queued, 0, 2'981'113, 0},
        {"/home/alice/Pictures/Harbour/IMG_2040.jpg", StoredState::Uploaded, 1, 3'104'220, 40},
        {"/home/alice/Videos/Harbour at dusk.mp4", StoredState::Failed, -7, 48'210'554, 95},
        {"/home/alice/Pictures/Harbour/IMG_2039.jpg", StoredState::Uploaded, -3, 2'873'001, 130},
        {"/home/alice/Pictures/Garden/DSC_0107.jpg", StoredState::Cancelled, 0, 5'662'310, 3600},
    };
    std::vector<StoredRow> rows;
    int64_t id = 100;
    for (const auto& sample : samples) {
        StoredRow row;
        row.id = id--;
        row.path = sample.path;
        row.state = sample.state;
        row.result = sample.result;
        row.size = sample.size;
        row.queuedAt = now - sample.ago - 20;
        row.finishedAt = IsOpenState(sample.state) ? 0 : now - sample.ago;
        rows.push_back(row);
    }
    return rows;
}

struct Scene {
    const char* name;
    TransferState state;
    const char* status;
    bool busy;
    bool video = false; // before its still frame: the film strip
};

constexpr Scene kScenes[] = {
    {"main-ready", kStateReady, "Ready", false},
    {"main-resizing", kStateResizing, "Resizing...", true},
    {"main-encoding", kStateEncoding, "Encoding: 42%", true},
    {"main-uploading", kStateUploading, "Uploading: 40%", true},
    {"main-uploaded", kStateUploaded, "Uploaded", true},
    {"main-trying", kStateTrying, "Trying...", true},
    {"main-video", kStateEncoding, "Encoding: 7%", true, true},
    // Paused with files waiting: none taken up, Cancel on for them.
    {"main-paused", kStatePaused, "Paused", false},
};

bool Save(const QPixmap& picture, const QString& folder, const QString& name)
{
    const bool sharp = picture.devicePixelRatio() >= 2;
    const QString path = QDir(folder).filePath(name + (sharp ? QStringLiteral("@2x.png") : QStringLiteral(".png")));
    if (picture.isNull() || !picture.save(path)) {
        std::fprintf(stderr, "quaylet-clientshots: could not render %s\n", qPrintable(name));
        return false;
    }
    return true;
}

int Render(const QString& folder, const std::string& user, const std::string& password)
{
    if (!QDir().mkpath(folder))
        return 1;
    QTemporaryDir samples;
    const QString photo = WriteSamplePhoto(samples);
    SaveCredentials(CProfile(user, password));

    MainWindowSeams seams;
    seams.makeTray = [] { return std::make_unique<QuietTray>(); };
    seams.pollNotifications = false;
    CKestrelioClientDlg window(MainWindowStart{}, std::move(seams));
    if (!window.StartUp()) {
        std::fprintf(stderr, "quaylet-clientshots: could not sign in as %s\n", user.c_str());
        return 1;
    }
    window.move(kRenderAt);
    window.show();
    if (!WaitUntilOnScreen(window))
        return 1;

    int failures = 0;
    CMainWindowView& view = *window.view();
    for (const Scene& scene : kScenes) {
        view.showQueueReset();
        view.showCount("");
        if (scene.busy) {
            QueueRow row;
            // A video that gives no still frame keeps its film strip.
            row.columns[kColumnPathname] = scene.video ? samples.filePath(QStringLiteral("clip.avi")).toStdString()
                                                       : photo.toStdString();
            row.columns[kColumnFileType] = scene.video ? "2" : "1";
            view.showNextFile(row);
            view.showCount(" 1 of 3");
            view.showProgressMaximum(100);
            view.showProgress(scene.state == kStateUploaded ? 100 : 40);
        }
        view.showState(scene.state, scene.status);
        Settle(800); // the preview's fade
        failures += Save(Capture(window), folder, QString::fromLatin1(scene.name)) ? 0 : 1;
    }
    view.showQueueReset();
    view.showCount("");
    view.showState(kStateReady, "Ready");

    // submenu: the title of a submenu to show open beside its item.
    const auto menuShot = [&](const char* name, const char* submenu = nullptr) {
        Settle(400);
        QMenu* menu = window.openMenu();
        if (menu == nullptr)
            return false;
        QRect area = window.frameGeometry().united(menu->geometry());
        for (QAction* action : menu->actions()) {
            if (submenu != nullptr && action->menu() != nullptr && action->text() == QLatin1String(submenu)) {
                menu->setActiveAction(action);
                action->menu()->popup(menu->geometry().topRight() + QPoint(0, menu->actionGeometry(action).y()));
                Settle(400);
                area = area.united(action->menu()->geometry());
            }
        }
        const bool saved = Save(CaptureArea(window, area), folder, QString::fromLatin1(name));
        menu->close();
        return saved;
    };
    window.ShowWindowMenu();
    failures += menuShot("menu-window") ? 0 : 1;
    window.ShowWindowMenu();
    failures += menuShot("menu-speed", "Upload Speed") ? 0 : 1;
    window.OnTrayClick(TrayClick::Right, window.frameGeometry().center());
    failures += menuShot("menu-tray") ? 0 : 1;

    window.OnCommand(MenuCommand::kUploadHistory);
    CUploadHistoryWnd* history = window.historyWindow();
    if (history == nullptr || !WaitUntilOnScreen(*history))
        return 1;
    Settle(400); // the store's own rows (none) first, then the sample's
    history->setRows(SampleHistory());
    history->table().selectRow(2);
    Settle(400);
    failures += Save(Capture(*history), folder, QStringLiteral("history")) ? 0 : 1;
    return failures == 0 ? 0 : 1;
}

} // namespace
} // namespace quaylet

// Qt's xcb platform asks libdbus for the session bus once per process, and
// libdbus keeps that allocation for the life of the process.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() != 4 || args[0] != QLatin1String("--render")) {
        std::fprintf(stderr, "usage: quaylet-clientshots --render DIR USER PASSWORD\n");
        return 2;
    }
    return quaylet::Render(args[1], args[2].toStdString(), args[3].toStdString());
}
