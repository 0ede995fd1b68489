// The drop window's commands: the buttons, the two menus, the tray's clicks
// and balloons, the web pages it opens and the upload-completed dialog.

#include "window/mainwindow.h"

#include "api/endpoints.h"
#include "core/logfile.h"
#include "core/settings.h"
#include "core/stringtable.h"
#include "credentials/profile.h"
#include "dialogs/aboutdlg.h"
#include "dialogs/settingsdlg.h"
#include "dialogs/uploadcompleteddlg.h"
#include "engine/transferengine.h"
#include "platform/autostart.h"
#include "platform/internet.h"
#include "update/browserlaunch.h"
#include "window/clientmenu.h"
#include "window/desktopnotifications.h"
#include "window/mainwindowview.h"
#include "window/menucommands.h"
#include "window/uploadspeed.h"

#include <QApplication>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QUrl>

namespace quaylet {

namespace {

QString Text(int id)
{
    return QString::fromUtf8(LoadString(id));
}

// A user name inside an address: names may hold characters that mean
// something there ("&", "#", "?", blanks).
std::string Escaped(const std::string& text)
{
    return QUrl::toPercentEncoding(QString::fromUtf8(text.data(), qsizetype(text.size()))).toStdString();
}

bool IsWebAddress(const std::string& address)
{
    const QUrl url(QString::fromUtf8(address.data(), qsizetype(address.size())));
    return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

} // namespace

void CKestrelioClientDlg::OnCommand(int command)
{
    switch (command) {
    case MenuCommand::kLogout:
        Logout();
        break;
    case MenuCommand::kAlwaysOnTop:
        m_alwaysOnTop = !m_alwaysOnTop;
        SetSettingInt(kSettingsSection, "AlwaysOnTop", m_alwaysOnTop ? 1 : 0);
        ApplyAlwaysOnTop();
        break;
    case MenuCommand::kLaunchOnStartup:
        ToggleLaunchOnStartup();
        break;
    case MenuCommand::kShowNotifications:
        m_showNotifications = !m_showNotifications;
        SetSettingInt(kSettingsSection, "ShowNotifications", m_showNotifications ? 1 : 0);
        break;
    case MenuCommand::kPauseUploads:
        m_uploadsPaused = !m_uploadsPaused;
        SetSettingInt(kSettingsSection, "PauseUploads", m_uploadsPaused ? 1 : 0);
        if (m_engine)
            m_engine->setPaused(m_uploadsPaused);
        break;
    case MenuCommand::kAbout:
        OpenDialog(std::make_unique<CAboutDlg>(this), nullptr);
        break;
    case MenuCommand::kExit:
        Exit();
        break;
    case MenuCommand::kAddFiles:
        ChooseFiles();
        break;
    case MenuCommand::kUploadHistory:
        OpenHistory();
        break;
    default:
        if (const UploadSpeedChoice* speed = UploadSpeedOfCommand(command))
            SetUploadSpeed(speed->bytesPerSecond);
        break;
    }
}

void CKestrelioClientDlg::SetUploadSpeed(uint64_t bytesPerSecond)
{
    m_uploadSpeed = bytesPerSecond;
    StoreUploadSpeed(bytesPerSecond);
    // The file being sent keeps its rate; the next request takes this one.
    platform::SetDefaultSendRateLimit(bytesPerSecond);
    WriteLog(LogMilestone, "CKestrelioClientDlg: upload speed limit %llu bytes per second",
             static_cast<unsigned long long>(bytesPerSecond));
}

void CKestrelioClientDlg::Exit()
{
    if (m_completed != nullptr) {
        // The dialog ends first and then asks for the exit again.
        m_exitAfterDialog = true;
        m_completed->RequestExit();
        return;
    }
    m_exiting = true;
    QCoreApplication::exit(0);
}

void CKestrelioClientDlg::Logout()
{
    auto dialog = std::make_unique<CSettingsDlg>(CSettingsDlg::Mode::SignedIn, this);
    dialog->SetCurrentUser(m_userName);
    OpenDialog(std::move(dialog), [this](int result) {
        if (result != QDialog::Accepted)
            return;
        // The new client starts once the credentials are gone, or it would
        // sign in with them again.
        m_credentialTask = std::make_unique<CBackgroundTask>(*this, [this, userName = m_userName] {
            ForgetCredentials(userName);
            return CBackgroundTask::Delivery([this] { RestartClient(); });
        });
    });
}

void CKestrelioClientDlg::RestartClient()
{
    if (m_seams.restartClient) {
        m_seams.restartClient();
        return;
    }
    // The new client closes this one and asks for credentials.
    if (!QProcess::startDetached(QCoreApplication::applicationFilePath(), {QStringLiteral("/q")}))
        WriteLog(LogMilestone, "CKestrelioClientDlg: cannot start the client again");
}

void CKestrelioClientDlg::ToggleLaunchOnStartup()
{
    platform::AutostartEntry entry;
    if (m_launchOnStartup) {
        if (entry.remove())
            m_launchOnStartup = false;
    } else if (entry.write(QCoreApplication::applicationFilePath().toStdString())) {
        m_launchOnStartup = true;
    }
}

void CKestrelioClientDlg::OnCancel()
{
    if (!m_engine || m_cancelWait.isActive())
        return;
    // The transfer thread may be waiting for this window (a still frame, a
    // status): keep serving it while the acknowledgement is awaited.
    m_engine->beginCancel();
    m_cancelWaitedMs = 0;
    if (m_engine->objects().acknowledge.isSet())
        FinishCancel();
    else
        m_cancelWait.start();
}

void CKestrelioClientDlg::FinishCancel()
{
    m_cancelWait.stop();
    if (!m_engine)
        return;
    m_engine->finishCancel();
    Q_EMIT cancelFinished();
}

void CKestrelioClientDlg::OnHelp()
{
    OpenUrlInBrowser(SupportSiteAddress() +
                     "/support/index.php?_m=knowledgebase&_a=view&parentcategoryid=6&pcid=0&nav=0");
}

std::string CKestrelioClientDlg::AccountPageAddress() const
{
    return SiteAddress() + "/" + Escaped(m_userName);
}

void CKestrelioClientDlg::OpenAccountPage()
{
    OpenUrlInBrowser(AccountPageAddress());
}

void CKestrelioClientDlg::OpenUpgradePage(int limit)
{
    OpenUrlInBrowser(SiteAddress() + "/premiumupgrade.html?username=" + Escaped(m_userName) +
                     "&limit=" + std::to_string(limit));
}

void CKestrelioClientDlg::OpenEmailPage()
{
    OpenUrlInBrowser(SiteAddress() + "/quayletemail.html?username=" + Escaped(m_userName));
}

void CKestrelioClientDlg::OnTrayClick(TrayClick click, QPoint globalPos)
{
    switch (click) {
    case TrayClick::Left:
        if (m_completed != nullptr) {
            m_completed->SetDialogShown(!m_completed->IsDialogShown());
            m_completed->raise();
            m_completed->activateWindow();
            return;
        }
        SetShown(!m_visible);
        if (m_visible) {
            raise();
            activateWindow();
        }
        return;
    case TrayClick::Right:
        if (m_completed != nullptr)
            m_completed->raise();
        else if (isVisible())
            raise();
        ShowClientMenu(true, globalPos);
        return;
    case TrayClick::Message:
        if (m_connection && m_connection->warningArmed() && !m_userName.empty() && m_successBalloon) {
            m_successBalloon = false;
            OpenAccountPage();
        }
        return;
    }
}

void CKestrelioClientDlg::ShowClientMenu(bool trayMenu, QPoint globalPos)
{
    ClientMenuState state;
    state.alwaysOnTop = m_alwaysOnTop;
    state.launchOnStartup = m_launchOnStartup;
    state.showNotifications = m_showNotifications;
    state.uploadsPaused = m_uploadsPaused;
    state.greyedExceptExit = trayMenu && m_completed != nullptr;
    state.uploadSpeed = m_uploadSpeed;
    m_menu = BuildClientMenu(trayMenu ? ClientMenuKind::Tray : ClientMenuKind::Window, state);
    connect(m_menu.get(), &QMenu::triggered, this, [this](QAction* action) {
        // After the menu has closed, as a posted command.
        const int command = action->data().toInt();
        QMetaObject::invokeMethod(this, [this, command] { OnCommand(command); }, Qt::QueuedConnection);
    });
    QPoint at = globalPos;
    if (!trayMenu) {
        // The window menu always opens next to the Menu button.
        const QRect button(m_menuButton.mapToGlobal(QPoint()), m_menuButton.size());
        const QScreen* screen = m_menuButton.screen();
        at = WindowMenuPosition(button, m_menu->sizeHint(),
                                screen != nullptr ? screen->geometry() : QRect(QPoint(), button.bottomRight()));
    }
    m_menu->popup(at);
}

void CKestrelioClientDlg::ShowBalloon(const Balloon& balloon)
{
    if (!m_tray)
        return;
    m_tray->showBalloon(TrayBalloon{QString::fromStdString(balloon.title), QString::fromStdString(balloon.text),
                                    balloon.icon, balloon.timeoutMs});
    m_balloonTakeDown.start(balloon.takeDownMs);
}

void CKestrelioClientDlg::TakeDownBalloon()
{
    m_balloonTakeDown.stop();
    if (m_tray)
        m_tray->removeBalloon();
    m_successBalloon = false;
}

void CKestrelioClientDlg::ShowStatusInTray(const QString& statusText)
{
    if (m_tray)
        m_tray->setToolTip(Text(str::AppTitle) + QLatin1Char(' ') + statusText);
}

void CKestrelioClientDlg::RunUploadCompleted()
{
    SetShown(false);
    CUploadCompletedDlg dialog(m_alwaysOnTop, m_visible, this);
    dialog.SetAccountPageAddress(AccountPageAddress());
    connect(&dialog, &CUploadCompletedDlg::helpRequested, this, &CKestrelioClientDlg::OnHelp);
    connect(&dialog, &CUploadCompletedDlg::exitAfterClose, this, &CKestrelioClientDlg::Exit,
            Qt::QueuedConnection);
    m_completed = &dialog;
    RunDialog(dialog);
    m_completed = nullptr;
    const QPoint last = dialog.LastPosition();
    move(last.x(), last.y() - (m_alwaysOnTop ? 1 : 0));
    if (m_exitAfterDialog)
        return; // the exit that ended the dialog follows
    SetShown(true);
    raise();
    activateWindow();
}

void CKestrelioClientDlg::ShowServiceNotification()
{
    if (!m_showNotifications || !m_engine || m_engine->poller() == nullptr)
        return;
    // Read while the transfer thread waits for this call: the record is its own.
    const ToastRecord& toast = m_engine->poller()->record();
    DesktopNotification notification;
    notification.title = QString::fromStdString(toast.title);
    notification.text = QString::fromStdString(toast.message);
    notification.picturePath = QString::fromStdString(toast.localImagePath);
    if (!m_notifications)
        m_notifications = std::make_unique<DesktopNotifications>();
    m_notifications->onClick = nullptr;
    if (IsWebAddress(toast.link))
        m_notifications->onClick = [link = toast.link] { OpenUrlInBrowser(link); };
    m_notifications->show(notification);
}

} // namespace quaylet
