#include "window/mainwindow.h"

#include "api/endpoints.h"
#include "core/logfile.h"
#include "core/queuedcall.h"
#include "core/settings.h"
#include "core/stringtable.h"
#include "core/windowplacement.h"
#include "credentials/cookiecredentials.h"
#include "credentials/profile.h"
#include "dialogs/settingsdlg.h"
#include "dialogs/updatecheckdlg.h"
#include "dialogs/uploadcompleteddlg.h"
#include "dropintake/droppaths.h"
#include "dropintake/filedroplistctrl.h"
#include "dropintake/renamejournal.h"
#include "engine/takeuprows.h"
#include "engine/transferengine.h"
#include "platform/autostart.h"
#include "platform/internet.h"
#include "queuestore/queuejournal.h"
#include "skin/skinfonts.h"
#include "skin/skinregistration.h"
#include "skin/skintables.h"
#include "transfer/windowcallmarshal.h"
#include "window/appicon.h"
#include "window/desktopnotifications.h"
#include "window/mainwindowview.h"
#include "window/menucommands.h"
#include "window/uploadspeed.h"
#include "window/workarea.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QMimeData>
#include <QScreen>

#include <array>
#include <thread>
#include <utility>

namespace quaylet {

namespace {

constexpr const char* kUriListFormat = "text/uri-list";

QString Text(int id)
{
    return QString::fromUtf8(LoadString(id));
}

QColor Colour(QRgb rgb)
{
    return QColor::fromRgb(rgb);
}

// Start-up signs in on a thread of its own, so that a quit request (the
// session ending) can cut the exchange short: the internet layer polls the
// abort check while it waits.
StartupSignInResult SignInInterruptibly(const std::vector<CredentialSource>& sources,
                                        const platform::Event* quit)
{
    StartupSignInResult result;
    CProfile profile;
    std::thread signer([&] {
        platform::ScopedInternetAbort abort([quit] { return quit != nullptr && quit->isSet(); });
        result = SignInAtStartup(profile, sources);
    });
    signer.join();
    if (result.found)
        CurrentProfile() = profile;
    return result;
}

} // namespace

CKestrelioClientDlg::CKestrelioClientDlg(const MainWindowStart& start, MainWindowSeams seams)
    : KLSkinDialog(nullptr, seams.skinLoader ? seams.skinLoader : SkinPictureLoader(LoadSkinPictureResource)),
      m_seams(std::move(seams)),
      m_quitRequested(start.quitRequested),
      m_cancel(this),
      m_close(this),
      m_help(this),
      m_menuButton(this),
      m_login(this),
      m_count(this),
      m_status(this),
      m_account(this),
      m_preview(this),
      m_placeholder(this),
      m_progress(this),
      m_dropArea(this),
      m_controls{m_cancel, m_close, m_help, m_menuButton, m_login, m_count,
                 m_status, m_account, m_preview, m_placeholder, m_progress},
      m_visible(start.visible)
{
    if (!m_seams.firstShown)
        m_seams.firstShown = [](QWidget& window) { RunWeeklyUpdateCheck(window); };
    EnsureSkinFonts();
    setAcceptDrops(true);
    RegisterSkinElements();

    m_balloonTakeDown.setSingleShot(true);
    connect(&m_balloonTakeDown, &QTimer::timeout, this, &CKestrelioClientDlg::TakeDownBalloon);
    m_cancelWait.setInterval(20);
    connect(&m_cancelWait, &QTimer::timeout, this, [this] {
        m_cancelWaitedMs += m_cancelWait.interval();
        if (m_engine && (m_engine->objects().acknowledge.isSet() ||
                         m_cancelWaitedMs >= CEngineReactions::kCancelAcknowledgeWait.count()))
            FinishCancel();
    });

    connect(&m_cancel, &QAbstractButton::clicked, this, &CKestrelioClientDlg::OnCancel);
    connect(&m_close, &QAbstractButton::clicked, this, [this] { SetShown(false); });
    connect(&m_help, &QAbstractButton::clicked, this, &CKestrelioClientDlg::OnHelp);
    connect(&m_login, &QAbstractButton::clicked, this, [this] { OnCommand(MenuCommand::kLogout); });
    connect(&m_menuButton, &CHoverButton::menuRequested, this,
            [this](CHoverButton*, const QPoint& globalPos) { ShowClientMenu(false, globalPos); });
    connect(&m_dropArea, &QAbstractButton::clicked, this, &CKestrelioClientDlg::ChooseFiles);
}

CKestrelioClientDlg::~CKestrelioClientDlg()
{
    ShutDown();
}

void CKestrelioClientDlg::RegisterSkinElements()
{
    const SkinTable& skin = MainWindowSkin();
    SetSkin(skin.skinId, skin.maskId, skin.overId, skin.downId, Colour(skin.transparent));
    RegisterSkinTable(*this, skin, [this](const SkinElementRow& row) -> SkinRowControl {
        switch (row.controlId) {
        case SkinControl::kCancel:
            return {.button = &m_cancel};
        case SkinControl::kClose:
            return {.button = &m_close};
        case SkinControl::kHelp:
            return {.button = &m_help};
        case SkinControl::kMenu:
            return {.button = &m_menuButton};
        case SkinControl::kLogin:
            return {.button = &m_login};
        case SkinControl::kCount:
            return {.label = &m_count};
        case SkinControl::kStatus:
            return {.label = &m_status};
        case SkinControl::kAccountLine:
            return {.label = &m_account};
        case SkinControl::kPreview:
            return {.picture = &m_preview};
        case SkinControl::kSecondPreview:
            // The placeholder shares the preview's colour, so the skin leaves
            // it where it is; start-up lays it over the preview.
            return {.picture = &m_placeholder};
        case SkinControl::kProgress:
            return {.progress = &m_progress};
        default:
            return {};
        }
    });
    for (CHoverButton* button : std::array<CHoverButton*, 5>{&m_cancel, &m_close, &m_help, &m_menuButton, &m_login})
        button->SetHandCursor(true);
}

int CKestrelioClientDlg::run()
{
    if (!StartUp()) {
        ShutDown();
        return 0;
    }
    QApplication::setQuitOnLastWindowClosed(false);
    if (m_visible)
        show();
    else if (!m_tray->trayAvailable())
        showMinimized(); // never hidden out of reach
    if (m_signInDialogShown && m_visible) {
        raise();
        activateWindow();
    }
    QApplication::exec();
    ShutDown();
    return 0;
}

bool CKestrelioClientDlg::StartUp()
{
    if (m_startedUp)
        return m_signedIn;
    m_startedUp = true;
    setWindowIcon(AppIcon());
    setWindowTitle(Text(str::AppTitle));

    WriteLog(LogTrace, "CKestrelioClientDlg: Skin it now");
    LoadSkin();
    m_account.setAlignment(Qt::AlignCenter);
    m_status.setAlignment(Qt::AlignCenter);

    // Names a killed client left behind come back at every start, also one
    // that ends at the sign-in, not only once the engine is built after it.
    RenameJournal::RestoreEnded(RenameJournal::DefaultDirectory());
    if (!SignIn())
        return false;

    ReadOptions();
    m_tray = m_seams.makeTray ? m_seams.makeTray() : MakeSystemTrayIcon(this);
    m_tray->onClick = [this](TrayClick click, QPoint pos) { OnTrayClick(click, pos); };
    m_tray->add(windowIcon(), Text(str::AppTitle));

    SetUpControls();
    RestorePlacement();
    WatchScreens();
    StartEngine();
    if (!m_pendingPaths.empty())
        queuePaths(std::exchange(m_pendingPaths, {}));
    return true;
}

bool CKestrelioClientDlg::SignIn()
{
    std::vector<CredentialSource> sources;
    if (m_seams.credentialSources) {
        sources = *m_seams.credentialSources;
    } else {
        // Stored credentials for the three site addresses, then the browser's
        // cookies for each.
        sources = StoredCredentialSources();
        for (CredentialSource& source : CookieCredentialSources())
            sources.push_back(std::move(source));
    }
    const StartupSignInResult startup = SignInInterruptibly(sources, m_quitRequested);
    if (m_quitRequested != nullptr && m_quitRequested->isSet())
        return false;

    bool dialogShown = false;
    if (!startup.signedIn()) {
        dialogShown = true;
        CSettingsDlg dialog(CSettingsDlg::Mode::SignIn, this);
        const int answer = RunDialog(dialog);
        if (answer == QDialog::Rejected || (m_quitRequested != nullptr && m_quitRequested->isSet())) {
            hide();
            WriteLog(LogMilestone, "CKestrelioClientDlg: user logon cancelled ..quitting app");
            return false;
        }
        CurrentProfile() = CProfile(dialog.GetTypedUser(), dialog.GetTypedPassword());
        m_credentialTask = std::make_unique<CBackgroundTask>(*this, [profile = CurrentProfile()] {
            SaveCredentials(profile);
            return CBackgroundTask::Delivery();
        });
    }

    m_userName = CurrentProfile().m_userName;
    m_signedIn = true;
    m_account.SetAddress(AccountPageAddress());
    m_account.SetLabelFont(QString::fromUtf8(kSkinFontFace), 140, false, false, true);
    m_account.SetText(QStringLiteral("Go To My Glimmerly Account"));
    WriteLog(LogTrace, "CKestrelioClientDlg: Logged in user is %s", m_userName.c_str());
    m_signInDialogShown = dialogShown;
    return true;
}

void CKestrelioClientDlg::ReadOptions()
{
    m_alwaysOnTop = GetSettingInt(kSettingsSection, "AlwaysOnTop", 1) != 0;
    SetSettingInt(kSettingsSection, "AlwaysOnTop", m_alwaysOnTop ? 1 : 0);
    ApplyAlwaysOnTop();
    m_launchOnStartup = platform::AutostartEntry().exists();
    m_showNotifications = GetSettingInt(kSettingsSection, "ShowNotifications", 1) != 0;
    SetSettingInt(kSettingsSection, "ShowNotifications", m_showNotifications ? 1 : 0);
    m_uploadsPaused = GetSettingInt(kSettingsSection, "PauseUploads", 0) != 0;
    SetSettingInt(kSettingsSection, "PauseUploads", m_uploadsPaused ? 1 : 0);
    m_uploadSpeed = StoredUploadSpeed();
    platform::SetDefaultSendRateLimit(m_uploadSpeed);
    // Kept for the settings' sake; the skinned window is drawn opaque.
    SetSettingInt(kSettingsSection, "Transparency", GetSettingInt(kSettingsSection, "Transparency", 80));
}

void CKestrelioClientDlg::ApplyAlwaysOnTop()
{
    // Changing a flag takes the window off the screen; put it back.
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, m_alwaysOnTop);
    if (wasVisible)
        show();
}

void CKestrelioClientDlg::SetUpControls()
{
    m_cancel.SetFillColour(Colour(kCancelBarColour));
    m_cancel.SetToolTipText(Text(str::CancelUpload), true);
    m_help.SetToolTipText(Text(str::LaunchHelp), true);
    m_close.SetToolTipText(Text(str::MinimizeToTray), true);
    m_menuButton.SetToolTipText(Text(str::Menu), true);
    m_menuButton.SetMenuButton(true);
    m_count.SetText(QString());
    m_placeholder.setGeometry(m_preview.geometry());
    m_placeholder.raise();
    SetUpKeyboardAndScreenReaders();
    repaint();
}

void CKestrelioClientDlg::SetUpKeyboardAndScreenReaders()
{
    // The drop area lies under everything else in the centre panel.
    m_dropArea.setGeometry(m_preview.geometry());
    m_dropArea.lower();
    m_login.SetSpokenName(QStringLiteral("Logout")); // the word on its picture
    m_progress.setAccessibleName(QStringLiteral("Upload progress"));
    // Where screen readers look for the state of things.
    m_status.SetAccessibleRole(QAccessible::StatusBar);

    // Left to right along the top bar, then down; the drop area first.
    const std::array<QWidget*, 7> order{&m_login,   &m_menuButton, &m_help,  &m_close,
                                        &m_account, &m_dropArea,   &m_cancel};
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    m_dropArea.setFocus();
}

void CKestrelioClientDlg::RestorePlacement()
{
    const auto stored = GetSettingBinary(kSettingsSection, "WindowPlacement");
    const auto placement = stored ? DecodePlacement(*stored) : std::nullopt;
    if (placement) {
        move(placement->left, placement->top);
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect centred(QPoint(), size());
        centred.moveCenter(screen->availableGeometry().center());
        move(centred.topLeft());
    }
    KeepInsideWorkArea();
}

void CKestrelioClientDlg::SavePlacement()
{
    WindowPlacement placement;
    placement.left = x();
    placement.top = y();
    placement.right = x() + width();
    placement.bottom = y() + height();
    SetSettingBinary(kSettingsSection, "WindowPlacement",
                     EncodePlacement(PlacementForSaving(placement, isMinimized())));
}

void CKestrelioClientDlg::KeepInsideWorkArea()
{
    const QScreen* screen = QGuiApplication::screenAt(geometry().center());
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect kept = KeptInsideWorkArea(geometry(), screen->availableGeometry());
    if (kept.topLeft() != pos())
        move(kept.topLeft());
}

void CKestrelioClientDlg::WatchScreens()
{
    const auto screensChanged = [this] {
        WriteLog(LogTrace, "CKestrelioClientDlg: Resolution change.. moving window");
        KeepInsideWorkArea();
    };
    const auto watch = [this, screensChanged](QScreen* screen) {
        connect(screen, &QScreen::availableGeometryChanged, this, screensChanged);
        connect(screen, &QScreen::geometryChanged, this, screensChanged);
    };
    for (QScreen* screen : QGuiApplication::screens())
        watch(screen);
    connect(qApp, &QGuiApplication::screenAdded, this, [watch, screensChanged](QScreen* screen) {
        watch(screen);
        screensChanged();
    });
    connect(qApp, &QGuiApplication::screenRemoved, this, screensChanged);
}

void CKestrelioClientDlg::StartEngine()
{
    MainWindowActions actions;
    actions.statusShown = [this](const QString& text) { ShowStatusInTray(text); };
    actions.balloon = [this](const Balloon& balloon) { ShowBalloon(balloon); };
    actions.upgradePage = [this](int limit) { OpenUpgradePage(limit); };
    actions.emailPage = [this] { OpenEmailPage(); };
    actions.uploadCompleted = [this] { RunUploadCompleted(); };
    actions.successBalloonArmed = [this] { m_successBalloon = true; };
    actions.notification = [this] { ShowServiceNotification(); };
    m_view = std::make_unique<CMainWindowView>(m_controls, std::move(actions));

    m_connection = std::make_unique<CConnectionWarning>(m_seams.connectionChecks);
    connect(m_connection.get(), &CConnectionWarning::warn, this, [this](const Balloon& balloon) {
        ShowBalloon(balloon); // shown whether or not notifications are on
    });

    QueueJournalOptions journalOptions;
    // Told once, on the journal's thread; the journal ends before the window.
    journalOptions.unavailable = [this] {
        QMetaObject::invokeMethod(
            this,
            QueuedCall([this] {
                ShowBalloon(Balloon {Text(str::AppTitle).toStdString(), QueueStoreUnavailableNotice(),
                                     BalloonIcon::Warning, 10000, 8000});
            }),
            Qt::QueuedConnection);
    };
    m_journal = std::make_unique<QueueJournal>(std::move(journalOptions));
    m_journal->setAccount(QueueAccountOf(CurrentProfile().m_userName));
    m_journal->setRowsChanged([this] {
        QMetaObject::invokeMethod(this, QueuedCall([this] { RefreshHistory(); }), Qt::QueuedConnection);
    });

    TransferEngineOptions options;
    options.journal = m_journal.get();
    options.pollNotifications = m_seams.pollNotifications;
    options.notificationsOn = [this] { return m_showNotifications.load(); };
    options.steps = m_seams.steps;
    options.uptimeMs = m_seams.uptimeMs;
    m_engine = std::make_unique<TransferEngine>(*m_view, std::move(options));
    m_marshal = std::make_unique<CWindowCallMarshal>(m_engine->objects().quit);
    m_marshalled = std::make_unique<CMarshalledWindowReactions>(m_engine->reactions(), *m_marshal);
    m_engine->setThreadReactions(m_marshalled.get());
    // Paused before anything is queued: what an earlier run left waits too.
    m_engine->setPaused(m_uploadsPaused);
    m_engine->start();

    // What an earlier run of this account left unfinished goes first.
    m_resuming = true;
    m_journal->takeUnfinished([this](std::vector<StoredRow> rows) {
        QMetaObject::invokeMethod(this, QueuedCall([this, rows = std::move(rows)] { ResumeTaken(rows); }),
                                  Qt::QueuedConnection);
    });
}

void CKestrelioClientDlg::ResumeTaken(const std::vector<StoredRow>& rows)
{
    m_resuming = false;
    if (!m_engine)
        return;
    const uint64_t before = m_engine->rowsQueued();
    if (const int count = RequeueTakenRows(*m_engine, *m_journal, rows); count > 0) {
        const std::string notice = ResumeNotice(count);
        WriteLog(LogMilestone, "CKestrelioClientDlg: %s", notice.c_str());
        if (m_showNotifications)
            ShowBalloon(Balloon {Text(str::AppTitle).toStdString(), notice, BalloonIcon::Info, 10000, 8000});
    }
    if (!m_pendingPaths.empty())
        queuePaths(std::exchange(m_pendingPaths, {}));
    else if (m_engine->rowsQueued() != before)
        m_view->startAnimation();
}

void CKestrelioClientDlg::ShutDown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_cancelWait.stop();
    if (m_engine) {
        m_engine->objects().cancel.set();
        if (!m_engine->stop(std::chrono::milliseconds(500))) {
            // The transfer thread is stuck in a call and still uses the engine:
            // end here rather than free what it uses.
            WriteLog(LogMilestone, "CKestrelioClientDlg: transfer thread did not stop; ending");
            std::fflush(nullptr);
            std::_Exit(20);
        }
        m_marshal->close();
    }
    if (m_signedIn)
        SavePlacement();
    if (m_view)
        m_view->stopAnimation();
    if (m_tray)
        m_tray->remove();
    m_engine.reset();
    // Writes what the engine reported, then ends its thread.
    m_journal.reset();
    m_marshalled.reset();
    m_marshal.reset();
}

void CKestrelioClientDlg::activate()
{
    if (m_completed != nullptr) {
        m_completed->SetDialogShown(true);
        m_completed->raise();
        m_completed->activateWindow();
        return;
    }
    // Signing in, logging out, reading About or answering the update
    // question: that dialog comes forward.
    if (QWidget* modal = m_modal ? m_modal.data() : QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
        return;
    }
    SetShown(true);
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void CKestrelioClientDlg::requestClose()
{
    if (m_modal)
        m_modal->reject(); // a sign-in or logout dialog: the run ends after it
    Exit();
}

void CKestrelioClientDlg::SetShown(bool show, bool apply)
{
    if (show == m_visible)
        return;
    m_visible = show;
    if (!apply)
        return;
    if (show) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        this->show();
    } else if (m_tray && !m_tray->trayAvailable()) {
        showMinimized(); // no tray to come back from
    } else {
        hide();
    }
}

void CKestrelioClientDlg::showEvent(QShowEvent* event)
{
    KLSkinDialog::showEvent(event);
    if (m_updatePending && m_visible) {
        m_updatePending = false;
        if (m_seams.firstShown)
            m_seams.firstShown(*this);
    }
}

void CKestrelioClientDlg::hideEvent(QHideEvent* event)
{
    KLSkinDialog::hideEvent(event);
    if (m_engine)
        m_engine->windowHidden();
}

void CKestrelioClientDlg::closeEvent(QCloseEvent* event)
{
    // The window manager's close only hides to the tray; Exit ends the client.
    if (!m_exiting) {
        event->ignore();
        SetShown(false);
        return;
    }
    KLSkinDialog::closeEvent(event);
}

void CKestrelioClientDlg::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        OnCancel();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return; // consumed: the window has no default button
    default:
        KLSkinDialog::keyPressEvent(event);
    }
}

void CKestrelioClientDlg::contextMenuEvent(QContextMenuEvent* event)
{
    if (!rect().contains(event->pos())) {
        KLSkinDialog::contextMenuEvent(event);
        return;
    }
    ShowClientMenu(false, event->globalPos());
}

void CKestrelioClientDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasFormat(QString::fromLatin1(kUriListFormat)))
        event->acceptProposedAction();
}

void CKestrelioClientDlg::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasFormat(QString::fromLatin1(kUriListFormat)))
        event->acceptProposedAction();
}

void CKestrelioClientDlg::dropEvent(QDropEvent* event)
{
    // The raw bytes, not QMimeData::urls(): names that are not UTF-8 must survive.
    const QByteArray uriList = event->mimeData()->data(QString::fromLatin1(kUriListFormat));
    if (uriList.isEmpty())
        return;
    event->acceptProposedAction();
    DropUriList(uriList);
}

void CKestrelioClientDlg::DropUriList(const QByteArray& uriList)
{
    if (m_engine)
        queuePaths(PathsFromUriList(std::string_view(uriList.constData(), uriList.size())));
}

void CKestrelioClientDlg::queuePaths(const std::vector<std::string>& paths)
{
    if (!m_engine || m_resuming) {
        m_pendingPaths.insert(m_pendingPaths.end(), paths.begin(), paths.end());
        return;
    }
    WriteLog(LogTrace, "CKestrelioClientDlg: File drop event occured");
    const uint64_t before = m_engine->rowsQueued();
    m_engine->intake().OnDropFiles(paths);
    if (m_engine->rowsQueued() != before)
        m_view->startAnimation();
    m_connection->checkAfterDrop();
}

void CKestrelioClientDlg::ChooseFiles()
{
    if (!m_chooser) {
        m_chooser = std::make_unique<QFileDialog>(this, QStringLiteral("Add Files"));
        m_chooser->setFileMode(QFileDialog::ExistingFiles);
        // Both cases: the patterns match names case by case on Linux.
        QStringList patterns;
        for (const std::string& extension : AcceptedExtensions()) {
            const QString upper = QString::fromStdString(extension);
            patterns << QLatin1Char('*') + upper.toLower() << QLatin1Char('*') + upper;
        }
        m_chooser->setNameFilters(
            {QStringLiteral("Photos and videos (%1)").arg(patterns.join(QLatin1Char(' '))),
             QStringLiteral("All files (*)")});
        connect(m_chooser.get(), &QFileDialog::filesSelected, this, [this](const QStringList& files) {
            std::vector<std::string> paths;
            for (const QString& file : files)
                paths.push_back(QFile::encodeName(file).toStdString());
            queuePaths(paths);
        });
    }
    if (m_chooser->isVisible()) {
        m_chooser->raise();
        m_chooser->activateWindow();
        return;
    }
    m_chooser->open();
}

void CKestrelioClientDlg::MakeDialogOfThisWindow(QDialog& dialog)
{
    if (dialog.parentWidget() != this)
        dialog.setParent(this, dialog.windowFlags());
    dialog.setWindowModality(Qt::WindowModal);
}

int CKestrelioClientDlg::RunDialog(QDialog& dialog)
{
    MakeDialogOfThisWindow(dialog);
    QPointer<QDialog> previous = m_modal;
    m_modal = &dialog;
    const int result = m_seams.runDialog ? m_seams.runDialog(dialog) : dialog.exec();
    m_modal = previous;
    return result;
}

void CKestrelioClientDlg::OpenDialog(std::unique_ptr<QDialog> dialog, std::function<void(int result)> answered)
{
    if (m_modal) {
        // The tray's menu stays live while a dialog shows: one at a time.
        m_modal->raise();
        m_modal->activateWindow();
        return;
    }
    MakeDialogOfThisWindow(*dialog);
    if (m_seams.runDialog) {
        m_modal = dialog.get();
        const int result = m_seams.runDialog(*dialog);
        m_modal = nullptr;
        if (answered)
            answered(result);
        return;
    }
    QDialog* shown = dialog.release(); // owned by this window until it has ended
    m_modal = shown;
    connect(shown, &QDialog::finished, this, [this, shown, answered = std::move(answered)](int result) {
        if (m_modal == shown)
            m_modal = nullptr;
        shown->deleteLater();
        if (answered)
            answered(result);
    });
    shown->open();
}

} // namespace quaylet
