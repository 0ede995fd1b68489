// The drop window against the development service: start-up and sign-in,
// drops through to the service, every outcome's texts, balloons and pages,
// Cancel, the options, and the upload-completed dialog's round trip.

#include "mainwindowfixture.h"

#include "engine/enginetestsupport.h"
#include "browsercookies/browserprofiles.h"
#include "support/processes.h"

#include "core/settings.h"
#include "credentials/credentialstore.h"
#include "credentials/passwordkeyring.h"
#include "credentials/profile.h"
#include "dialogs/settingsdlg.h"
#include "dialogs/uploadcompleteddlg.h"
#include "dropintake/renamejournal.h"
#include "engine/transferengine.h"
#include "platform/autostart.h"
#include "platform/internet.h"
#include "skin/skinstatic.h"
#include "support/sandbox.h"
#include "support/testkeyring.h"
#include "window/menucommands.h"
#include "window/mainwindowview.h"

#include <QAction>
#include <QFileDialog>
#include <QKeyEvent>
#include <QCoreApplication>
#include <QThread>
#include <QLineEdit>
#include <QMenu>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include <sys/wait.h>
#include <unistd.h>

namespace quaylet::test {
namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

bool SawToolTip(const RecordingTrayIcon& tray, const QString& status)
{
    return std::any_of(tray.toolTips.begin(), tray.toolTips.end(),
                       [&](const QString& tip) { return tip == QStringLiteral("Glimmerly ") + status; });
}

// Photos that differ from every other batch's: the service refuses duplicates.
std::vector<std::string> Photos(int count, const std::string& folder = "photos")
{
    static int made = 0;
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        paths.push_back(SandboxPath(folder + "/photo" + std::to_string(i) + ".jpg"));
        WritePhoto(paths.back(), made++);
    }
    return paths;
}

// What the user types into the sign-in dialog; the dialog signs in itself
// before it accepts.
int TypeCredentials(QDialog& dialog)
{
    const auto fields = dialog.findChildren<QLineEdit*>();
    EXPECT_EQ(fields.size(), 2);
    for (QLineEdit* field : fields)
        field->setText(QString::fromUtf8(field->echoMode() == QLineEdit::Password ? MainWindowFixture::kPassword
                                                                                 : MainWindowFixture::kUser));
    return int(QDialog::Accepted);
}

// The batch is done: the last state shown stays ("Uploaded" after a refusal).
bool Idle(CKestrelioClientDlg& window)
{
    return window.engine()->queue().count() == 0 && window.view()->state() != kStateUploading;
}

TEST(MainWindowStartUp, StoredCredentialsSignInWithoutTheDialog)
{
    MainWindowFixture fixture;
    fixture.StoreCredentials();
    auto window = fixture.MakeWindow();
    ASSERT_TRUE(window->StartUp());

    EXPECT_TRUE(fixture.dialogsRun.empty());
    EXPECT_EQ(window->controls().account.text(), QStringLiteral("Go To My Glimmerly Account"));
    EXPECT_TRUE(Contains(fixture.Log(), "CKestrelioClientDlg: Logged in user is demo"));
    ASSERT_NE(fixture.tray, nullptr);
    EXPECT_EQ(fixture.tray->toolTips.front(), QStringLiteral("Glimmerly"));
    EXPECT_TRUE(SawToolTip(*fixture.tray, QStringLiteral("Ready")));
    // The options are written back with their defaults.
    EXPECT_EQ(GetSettingInt(kSettingsSection, "AlwaysOnTop", -1), 1);
    EXPECT_EQ(GetSettingInt(kSettingsSection, "ShowNotifications", -1), 1);
    EXPECT_EQ(GetSettingInt(kSettingsSection, "Transparency", -1), 80);
}

TEST(MainWindowStartUp, ABrowserCookieSignsInWithoutTheDialogAndIsSaved)
{
    MainWindowFixture fixture;
    // Signed in on the service's site in the browser: its two cookies.
    MakeFirefoxProfiles(SandboxPath("home/.mozilla/firefox"),
                        {{"abc.default", {{.host = ".glimmerly.example", .name = "cookieusername", .value = "demo"},
                                          {.host = ".glimmerly.example", .name = "cookiepassword",
                                           .value = "demo%2Dpassword"}}}});
    auto window = fixture.MakeWindow();
    ASSERT_TRUE(window->StartUp());
    EXPECT_TRUE(fixture.dialogsRun.empty());
    EXPECT_TRUE(Contains(fixture.Log(), "CKestrelioClientDlg: succeeded to parse cookie for https://www.glimmerly.example"));
    CProfile stored;
    ASSERT_TRUE(LoadCredentials(stored, "https://www.glimmerly.example"));
    EXPECT_EQ(stored.m_password, MainWindowFixture::kPassword);
}

TEST(MainWindowStartUp, WithoutCredentialsTheDialogAsksAndItsCancelEndsTheClient)
{
    MainWindowFixture fixture;
    auto window = fixture.MakeWindow();
    EXPECT_FALSE(window->StartUp());
    ASSERT_EQ(fixture.dialogsRun, std::vector<std::string>{"quaylet::CSettingsDlg"});
    const std::string log = fixture.Log();
    EXPECT_TRUE(Contains(log, "CKestrelioClientDlg: failed to read cookie. Prompting user"));
    EXPECT_TRUE(Contains(log, "CKestrelioClientDlg: user logon cancelled ..quitting app"));
    EXPECT_EQ(window->engine(), nullptr); // nothing started
}

// A client that was killed while a file waited under a temporary name left
// the name in its rename journal; the next start gives it back even when the
// user then cancels the sign-in and the client ends.
TEST(MainWindowStartUp, NamesAKilledClientLeftComeBackBeforeTheSignIn)
{
    const std::string original = SandboxPath("photos/caf\xE9.jpg");
    const std::string temporary = SandboxPath("photos/TempFile_left.jpg");
    WriteFile(original, "photo bytes");
    const pid_t killed = ::fork();
    if (killed == 0) {
        // Records and renames as a client does, then ends without giving back.
        RenameJournal journal(RenameJournal::DefaultDirectory());
        ::_exit(journal.record(temporary, original) && ::rename(original.c_str(), temporary.c_str()) == 0 ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(killed, &status, 0), killed);
    ASSERT_EQ(status, 0);
    ASSERT_FALSE(PathExists(original));

    MainWindowFixture fixture;
    auto window = fixture.MakeWindow();
    EXPECT_FALSE(window->StartUp());
    EXPECT_EQ(ReadFile(original), "photo bytes");
    EXPECT_FALSE(PathExists(temporary));
}

TEST(MainWindowStartUp, CredentialsTypedIntoTheDialogAreStored)
{
    MainWindowFixture fixture;
    fixture.answerDialog = TypeCredentials;
    auto window = fixture.MakeWindow();
    ASSERT_TRUE(window->StartUp());
    // Saved off the window thread: the keyring may take its time.
    CProfile stored;
    ASSERT_TRUE(WaitUntil([&] { return LoadCredentials(stored, "https://www.glimmerly.example"); }));
    EXPECT_EQ(stored.m_userName, MainWindowFixture::kUser);
    EXPECT_EQ(stored.m_password, MainWindowFixture::kPassword);
}

TEST(MainWindowDrop, PhotosDroppedReachTheServiceThroughUploadingAndUploaded)
{
    MainWindowFixture fixture;
    fixture.StoreCredentials();
    auto window = fixture.MakeWindow();
    ASSERT_TRUE(window->StartUp());
    window->show();

    // One name that is not UTF-8 travels byte for byte from the drop.
    auto photos = Photos(2);
    const std::string odd = SandboxPath("photos/caf\xe9.jpg");
    WritePhoto(odd, 1000);
    photos.push_back(odd);
    window->DropUriList(UriList(photos));

    ASSERT_TRUE(WaitUntil([&] { return fixture.dialogsRun.size() == 1 && Idle(*window); }));
    EXPECT_EQ(fixture.dialogsRun.front(), "quaylet::CUploadCompletedDlg");
    EXPECT_EQ(fixture.StoredUploads(), 3);
    EXPECT_TRUE(SawToolTip(*fixture.tray, QStringLiteral("Uploading")));
    EXPECT_TRUE(SawToolTip(*fixture.tray, QStringLiteral("Uploaded")));
    EXPECT_TRUE(Contains(fixture.Log(), "CKestrelioClientDlg: File drop event occured"));
    // Every file is back under its own name.
    EXPECT_TRUE(PathExists(odd));
    // The window came back after the dialog, at rest.
    EXPECT_TRUE(window->IsShownFlag());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->controls().account.isVisible());
}

TEST(MainWindowDrop, PathsHandedOverBeforeTheWindowRunsAreQueuedOnceItDoes)
{
    // What a later start's files meet while this client still signs in.
    MainWindowFixture fixture;
    fixture.StoreCredentials();
    auto window = fixture.MakeWindow();
    window->queuePaths(Photos(2, "opened"));
    ASSERT_TRUE(window->StartUp());
    ASSERT_TRUE(WaitUntil([&] { return fixture.dialogsRun.size() == 1 && Idle(*window); }));
    EXPECT_EQ(fixture.StoredUploads(), 2);
    EXPECT_TRUE(Contains(fixture.Log(), "CKestrelioClientDlg: File drop event occured"));
}

TEST(MainWindowDrop, FilesChosenFromTheKeyboardAreQueuedAsADropOfThemWouldBe)
{
    MainWindowFixture fixture;
    fixture.StoreCredentials();
    auto window = fixture.MakeWindow();
    ASSERT_TRUE(window->StartUp());
    window->show();
    // The drop area has the first focus; Enter there opens the chooser, as
    // the window menu's Add Files... does.
    EXPECT_EQ(window->focusWidget(), &window->dropArea());
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(&window->dropArea(), &enter);
    QFileDialog* chooser = window->fileChooser();
    ASSERT_NE(chooser, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return chooser->isVisible(); }));
    chooser->reject();
    window->OnCommand(MenuCommand::kAddFiles);
    ASSERT_TRUE(WaitUntil([&] { return chooser->isVisible(); }));
    EXPECT_EQ(window->fileChooser(), chooser);

    const auto photos = Photos(2, "chosen");
    chooser->setDirectory(QString::fromStdString(SandboxPath("chosen")));
    chooser->selectFile(QStringLiteral("\"photo0.jpg\" \"photo1.jpg\""));
    static_cast<QDialog*>(chooser)->accept(); // public there; the chooser's own override runs
    ASSERT_TRUE(WaitUntil([&] { return fixture.dialogsRun.size() == 1 && Idle(*window); }));
    EXPECT_EQ(fixture.StoredUploads(), 2);
    EXPECT_TRUE(Contains(fixture.Log(), "CKestrelioClientDlg: File drop event occured"));
}

TEST(MainWindowSuccess, TheEmailPageOpensOnceAfterFifteenMinutesOfUptimeThenTheBalloon)
{
    MainWindowFixture fixture;
    fixture.StoreCredentials();
    MainWindowSeams seams;
    seams.uptimeMs = [] { return uint64_t{20 * 60 * 1000}; };
    auto window = fixture.MakeWindow(std::move(seams));
    ASSERT_TRUE(window->StartUp());

    window->DropUriList(UriList(Photos(1, "first")));
    ASSERT_TRUE(WaitUntil([&] { return fixture.dialogsRun.size() == 1 && Idle(*window); }));
    const auto emailPages = [&] {
        return std::count_if(fixture.openedPages.begin(), fixture.openedPages.end(),
                             [](const std::string& page) { return Contains(page, "/quayletemail.html?username=demo"); });
    };
    EXPECT_EQ(emailPages(), 1);
    EXPECT_TRUE(fixture.tray->balloons.empty());

    window->DropUriList(UriList(Photos(1, "second")));
    ASSERT_TRUE(WaitUntil([&] { return fixture.dialogsRun.size() == 2 && Idle(*window); }));
    EXPECT_EQ(emailPages(), 1);
    ASSERT_EQ(fixture.tray->balloons.size(), 1u);
    EXPECT_EQ(fixture.tray->balloons.back().title, QStringLiteral("Upload Successful!"));

    // A click on that balloon opens the account page once.
    const auto before = fixture.openedPages.size();
    window->OnTrayClick(TrayClick::Message, {});
    window->OnTrayClick(TrayClick::Message, {});
    ASSERT_EQ(fixture.openedPages.size(), before + 1);
    EXPECT_EQ(fixture.openedPages.back(), fixture.server().origin() + "/demo");
}

TEST(MainWindowOutcomes, PhotoLimitOpensTheUpgradePageOnceUntilTheWindowWasHidden)
{
    MainWindowFixture fixture(ServiceAccount{0, false});
    fixture.StoreCredentials();
    auto window = fixture.MakeWindow();
    ASSERT_TRUE(window->StartUp());
    window->show();
    const auto upgradePages = [&] {
        return std::count_if(fixture.openedPages.begin(), fixture.openedPages.end(), [](const std::string& page) {
            return Contains(page, "/premiumupgrade.html?username=demo&limit=1");
        });
    };

    window->DropUriList(UriList(Photos(2, "a")));
    ASSERT_TRUE(WaitUntil([&] { return Idle(*window) && fixture.tray->balloons.size() >= 2; }));
    EXPECT_EQ(upgradePages(), 1);
    EXPECT_EQ(fixture.tray->balloons.back().title, QStringLiteral("Photo limit exceeded"));
    EXPECT_TRUE(fixture.dialogsRun.empty()); // no success, no dialog

    window->SetShown(false);
    window->SetShown(true);
    window->DropUriList(UriList(Photos(1, "b")));
    ASSERT_TRUE(WaitUntil([&] { return upgradePages() == 2 && Idle(*window); }));
}

TEST(MainWindowOutcomes, AFailedUploadIsNamedInItsNotice)
{
    // Every upload's connection drops mid-body: three attempts, then -8.
    MainWindowFixture fixture(ServiceAccount{}, {"drop=2000@Media.upload"});
    fixture.StoreCredentials();
    auto window = fixture.MakeWindow();
    ASSERT_TRUE(window->StartUp());
    const std::string photo = SandboxPath("failing/caf\xc3\xa9 du port.jpg");
    WritePhoto(photo, 500);
    window->DropUriList(UriList({photo}));
    ASSERT_TRUE(WaitUntil([&] { return Idle(*window) && !fixture.tray->balloons.empty(); }));
    EXPECT_EQ(fixture.tray->balloons.back().title, QStringLiteral("Glimmerly"));
    EXPECT_EQ(fixture.tray->balloons.back().text, QStringLiteral("caf\u00e9 du port.jpg could not be uploaded."));
    EXPECT_TRUE(fixture.dialogsRun.empty());
    EXPECT_TRUE(PathExists(photo));
}

// A signed-in window whose first of three photos is uploading on a slow
// link; empty when it did not get there.
std::unique_ptr<CKestrelioClientDlg> UploadingThreePhotos(MainWindowFixture& fixture)
{
    fixture.StoreCredentials();
    auto window = fixture.MakeWindow();
    if (!window->StartUp())
        return nullptr;
    window->DropUriList(UriList(Photos(3)));
    if (!WaitUntil([&] { return window->view()->state() == kStateUploading; }))
        return nullptr;
    return window;
}

TEST(MainWindowCancel, CancelDuringAnUploadEmptiesTheQueueAndShowsReady)
{
    MainWindowFixture fixture(ServiceAccount{}, {"rate=20000@Media.upload"});
    auto window = UploadingThreePhotos(fixture);
    ASSERT_TRUE(window);

    bool finished = false;
    QObject::connect(window.get(), &CKestrelioClientDlg::cancelFinished, [&] { finished = true; });
    window->OnCancel();
    ASSERT_TRUE(WaitUntil([&] { return finished; }, std::chrono::seconds(5)));
    EXPECT_EQ(window->engine()->queue().count(), 0u);
    EXPECT_EQ(window->controls().status.text(), QStringLiteral("Ready"));
    EXPECT_TRUE(Contains(fixture.Log(), "CKestrelioClientDlg: Upload cancelled by user"));
    // Nothing further is uploaded, and no success dialog follows.
    QThread::msleep(300);
    QCoreApplication::processEvents();
    EXPECT_TRUE(fixture.dialogsRun.empty());
}

// Pause Uploads during an upload: that file still goes up, the rest waits
// under "Paused" (Cancel on, for them), the menu shows the tick and the
// settings keep it; unticked, the rest goes up at once.
TEST(MainWindowOptions, PauseUploadsFinishesTheFileAtWorkAndHoldsTheRestUntilUnticked)
{
    MainWindowFixture fixture(ServiceAccount{}, {"rate=20000@Media.upload"});
    auto window = UploadingThreePhotos(fixture);
    ASSERT_TRUE(window);

    window->OnCommand(MenuCommand::kPauseUploads);
    EXPECT_EQ(GetSettingInt(kSettingsSection, "PauseUploads", -1), 1);
    ASSERT_TRUE(WaitUntil([&] { return window->controls().status.text() == QStringLiteral("Paused"); }));
    EXPECT_EQ(fixture.StoredUploads(), 1);
    EXPECT_EQ(window->engine()->queue().count(), 2u);
    EXPECT_TRUE(window->controls().cancel.isEnabled());
    EXPECT_TRUE(SawToolTip(*fixture.tray, QStringLiteral("Paused")));
    QThread::msleep(500);
    QCoreApplication::processEvents();
    EXPECT_EQ(fixture.StoredUploads(), 1);
    window->ShowWindowMenu();
    ASSERT_NE(window->openMenu(), nullptr);
    const QList<QAction*> items = window->openMenu()->actions();
    const auto pauseItem = std::find_if(items.begin(), items.end(), [](const QAction* action) {
        return action->data().toInt() == MenuCommand::kPauseUploads;
    });
    ASSERT_NE(pauseItem, items.end());
    EXPECT_TRUE((*pauseItem)->isChecked());
    window->openMenu()->close();

    window->OnCommand(MenuCommand::kPauseUploads);
    EXPECT_EQ(GetSettingInt(kSettingsSection, "PauseUploads", -1), 0);
    ASSERT_TRUE(WaitUntil([&] { return fixture.dialogsRun.size() == 1 && Idle(*window); }));
    EXPECT_EQ(fixture.StoredUploads(), 3);
}

TEST(MainWindowOptions, MenusLaunchOnStartupAndCloseBox)
{
    MainWindowFixture fixture;
    fixture.StoreCredentials();
    auto window = fixture.MakeWindow();
    ASSERT_TRUE(window->StartUp());
    window->show();

    // The tray menu has no About; the window menu has it.
    const auto commands = [&](QMenu* menu) {
        std::vector<int> ids;
        for (QAction* action : menu->actions())
            if (!action->isSeparator())
                ids.push_back(action->data().toInt());
        return ids;
    };
    window->OnTrayClick(TrayClick::Right, QPoint(10, 10));
    ASSERT_NE(window->openMenu(), nullptr);
    EXPECT_EQ(commands(window->openMenu()).size(), 7u);
    window->openMenu()->close();

    // Launch On Startup twice leaves the autostart folder as it was.
    const platform::AutostartEntry entry;
    ASSERT_FALSE(entry.exists());
    window->OnCommand(MenuCommand::kLaunchOnStartup);
    EXPECT_TRUE(entry.exists());
    EXPECT_TRUE(window->launchOnStartup());
    EXPECT_TRUE(Contains(ReadFile(entry.path()), "\" /s"));
    window->OnCommand(MenuCommand::kLaunchOnStartup);
    EXPECT_FALSE(entry.exists());

    window->OnCommand(MenuCommand::kAlwaysOnTop);
    EXPECT_FALSE(window->alwaysOnTop());
    EXPECT_EQ(GetSettingInt(kSettingsSection, "AlwaysOnTop", -1), 0);
    EXPECT_TRUE(window->isVisible()); // put back after the flag change

    // The close box hides to the tray; a left click on the tray brings it back.
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->IsShownFlag());
    window->OnTrayClick(TrayClick::Left, {});
    EXPECT_TRUE(window->isVisible());
    // The update check ran at the first showing only.
    EXPECT_EQ(fixture.firstShowings, 1);
}

// An Upload Speed choice is ticked in the menus, kept in the settings and
// handed to the network layer for the requests that follow; the next start
// ticks and applies it again.
TEST(MainWindowOptions, UploadSpeedIsKeptAndAppliedAcrossARestart)
{
    MainWindowFixture fixture;
    fixture.StoreCredentials();
    const auto ticked = [](CKestrelioClientDlg& window) {
        window.OnTrayClick(TrayClick::Right, QPoint(10, 10));
        std::string text;
        for (QAction* item : window.openMenu()->actions())
            if (item->menu() != nullptr)
                for (QAction* choice : item->menu()->actions())
                    if (choice->isChecked())
                        text += choice->text().toStdString();
        window.openMenu()->close();
        return text;
    };
    {
        auto window = fixture.MakeWindow();
        ASSERT_TRUE(window->StartUp());
        EXPECT_EQ(ticked(*window), "Unlimited");
        EXPECT_EQ(platform::DefaultSendRateLimit(), 0u);
        window->OnCommand(MenuCommand::kUploadSpeed2Mbit);
        EXPECT_EQ(GetSettingInt(kSettingsSection, "UploadSpeedLimit", -1), 250000);
        EXPECT_EQ(platform::DefaultSendRateLimit(), 250000u);
        EXPECT_EQ(ticked(*window), "2 Mbit/s");
    }
    platform::SetDefaultSendRateLimit(0);
    auto window = fixture.MakeWindow();
    ASSERT_TRUE(window->StartUp());
    EXPECT_EQ(ticked(*window), "2 Mbit/s");
    EXPECT_EQ(platform::DefaultSendRateLimit(), 250000u);
    window->OnCommand(MenuCommand::kUploadSpeedUnlimited);
    EXPECT_EQ(platform::DefaultSendRateLimit(), 0u);
    EXPECT_EQ(GetSettingInt(kSettingsSection, "UploadSpeedLimit", -1), 0);
}

TEST(MainWindowOptions, WithoutATrayHidingMinimisesInstead)
{
    MainWindowFixture fixture;
    fixture.StoreCredentials();
    MainWindowSeams seams;
    seams.makeTray = [&fixture] {
        auto fake = std::make_unique<RecordingTrayIcon>(false);
        fixture.tray = fake.get();
        return fake;
    };
    auto window = fixture.MakeWindow(std::move(seams));
    ASSERT_TRUE(window->StartUp());
    window->show();
    window->SetShown(false);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
}

TEST(MainWindowUploadCompleted, ExitAndTrayClicksWhileTheDialogIsOpen)
{
    MainWindowFixture fixture;
    fixture.StoreCredentials();
    std::vector<bool> shownAfterClicks;
    bool greyedExceptExit = false;
    QPoint dialogPosition;
    CKestrelioClientDlg* windowPtr = nullptr;
    fixture.answerDialog = [&](QDialog& dialog) {
        auto& completed = dynamic_cast<CUploadCompletedDlg&>(dialog);
        QMetaObject::invokeMethod(
            &dialog,
            [&] {
                dialogPosition = completed.pos();
                // Three tray clicks: to the front, hidden, shown again.
                for (int i = 0; i < 3; ++i) {
                    windowPtr->OnTrayClick(TrayClick::Left, {});
                    shownAfterClicks.push_back(completed.isVisible());
                }
                windowPtr->OnTrayClick(TrayClick::Right, QPoint(5, 5));
                greyedExceptExit = true;
                for (QAction* action : windowPtr->openMenu()->actions())
                    if (!action->isSeparator())
                        greyedExceptExit &= action->isEnabled() == (action->data().toInt() == MenuCommand::kExit);
                windowPtr->openMenu()->close();
                windowPtr->OnCommand(MenuCommand::kExit);
            },
            Qt::QueuedConnection);
        return dialog.exec();
    };
    auto window = fixture.MakeWindow();
    windowPtr = window.get();
    ASSERT_TRUE(window->StartUp());
    window->move(100, 200);
    window->show();
    window->DropUriList(UriList(Photos(1)));

    ASSERT_TRUE(WaitUntil([&] { return window->exiting(); }));
    EXPECT_EQ(fixture.dialogsRun.size(), 1u);
    EXPECT_EQ(window->uploadCompletedDialog(), nullptr);
    EXPECT_EQ(shownAfterClicks, (std::vector<bool>{true, false, true}));
    EXPECT_TRUE(greyedExceptExit);
    EXPECT_EQ(dialogPosition, QPoint(100, 201));
    // The dialog went first; the main window stayed hidden on the way out.
    EXPECT_FALSE(window->isVisible());
}

TEST(MainWindowCancel, EscapeDuringAnEncoderRunStopsTheEncoderAndShowsReady)
{
    MainWindowFixture fixture;
    fixture.StoreCredentials();
    auto window = fixture.MakeWindow();
    ASSERT_TRUE(window->StartUp());
    window->show();
    window->DropUriList(UriList({MakeClip(SandboxPath("videos/long.mp4"), 40, "320x240")}));
    ASSERT_TRUE(WaitUntil([&] { return window->view()->state() == kStateEncoding; }));
    pid_t encoder = 0;
    ASSERT_TRUE(WaitUntil([&] {
        for (const auto& child : ChildrenOfThisProcess())
            if (child.name == "mencoder" || child.name == "ffmpeg")
                encoder = child.pid;
        return encoder != 0;
    }, std::chrono::seconds(10)));

    // While the window waits for the acknowledgement, the encoder's progress
    // keeps reaching it: the wait must not block the window thread.
    bool finished = false;
    QObject::connect(window.get(), &CKestrelioClientDlg::cancelFinished, [&] { finished = true; });
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &escape);
    ASSERT_TRUE(WaitUntil([&] { return finished; }, std::chrono::seconds(5)));
    EXPECT_TRUE(WaitForGroupGone(encoder, std::chrono::seconds(2)));
    EXPECT_EQ(window->controls().status.text(), QStringLiteral("Ready"));
    EXPECT_EQ(window->engine()->queue().count(), 0u);
    EXPECT_EQ(fixture.StoredUploads(), 0);
}

TEST(MainWindowDrop, TheConnectionWarningShowsOnceUntilAGoodConnection)
{
    MainWindowFixture fixture;
    fixture.StoreCredentials();
    auto online = std::make_shared<std::atomic<bool>>(false);
    MainWindowSeams seams;
    seams.connectionChecks.desktop = [online] { return online->load() ? Reachability::Online : Reachability::Disconnected; };
    auto window = fixture.MakeWindow(std::move(seams));
    ASSERT_TRUE(window->StartUp());
    const auto warnings = [&] {
        return std::count_if(fixture.tray->balloons.begin(), fixture.tray->balloons.end(), [](const TrayBalloon& b) {
            return b.title == QStringLiteral("Quaylet cannot connect to the Internet");
        });
    };
    const auto dropAndWait = [&](const std::string& folder) {
        const std::size_t lines = fixture.Log().size();
        window->DropUriList(UriList(Photos(1, folder)));
        return WaitUntil([&] {
            const std::string log = fixture.Log().substr(lines);
            return Contains(log, "No internet connection") || Contains(log, "Good connection to server");
        }, std::chrono::seconds(10));
    };
    ASSERT_TRUE(dropAndWait("one"));
    ASSERT_TRUE(dropAndWait("two"));
    EXPECT_EQ(warnings(), 1);
    online->store(true);
    ASSERT_TRUE(dropAndWait("three"));
    online->store(false);
    ASSERT_TRUE(dropAndWait("four"));
    EXPECT_EQ(warnings(), 2);
    EXPECT_TRUE(window->showNotifications()); // warnings show whatever that option says
}

TEST(MainWindowKeyring, TheDialogStoresThereTheNextStartAsksNothingAndLogoutRemovesIt)
{
    if (const char* missing = MissingKeyringProgram())
        GTEST_SKIP() << missing << " is not installed: no keyring of the test's own";
    PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().empty()) << "the session bus did not start";
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    ::setenv("XDG_DATA_HOME", SandboxPath("keyring-data").c_str(), 1);
    ::unsetenv("QUAYLET_CREDENTIAL_STORE");
    TestKeyring keyring;
    ASSERT_TRUE(keyring.ready()) << "the keyring daemon did not come up";
    SetCredentialKeyringForTesting(MakeDesktopKeyring());
    const auto inKeyring = [&] {
        return Contains(keyring.search("server", "Glimmerly"), MainWindowFixture::kPassword);
    };

    MainWindowFixture fixture;
    fixture.answerDialog = TypeCredentials;
    {
        auto window = fixture.MakeWindow();
        ASSERT_TRUE(window->StartUp());
        ASSERT_TRUE(WaitUntil(inKeyring, std::chrono::seconds(10)));
    }
    const std::string settings = ReadFile(CredentialStore::FilePath(CredentialStore::Current));
    EXPECT_TRUE(Contains(settings, std::string("szUsername=") + MainWindowFixture::kUser)) << settings;
    EXPECT_FALSE(Contains(settings, "szPassword")) << settings;

    // The next start signs in from the keyring, without the dialog.
    fixture.dialogsRun.clear();
    int restarts = 0;
    MainWindowSeams seams;
    seams.restartClient = [&] { ++restarts; };
    auto window = fixture.MakeWindow(std::move(seams));
    ASSERT_TRUE(window->StartUp());
    EXPECT_TRUE(fixture.dialogsRun.empty());

    // Logout takes it out of the keyring before the new client starts.
    fixture.answerDialog = [](QDialog&) { return int(QDialog::Accepted); };
    window->OnCommand(MenuCommand::kLogout);
    ASSERT_TRUE(WaitUntil([&] { return restarts == 1; }));
    EXPECT_FALSE(inKeyring());
    SetCredentialKeyringForTesting(nullptr);
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

TEST(MainWindowOptions, LogoutForgetsTheCredentialsAndStartsANewClient)
{
    MainWindowFixture fixture;
    fixture.StoreCredentials();
    int restarts = 0;
    MainWindowSeams seams;
    seams.restartClient = [&] { ++restarts; };
    auto window = fixture.MakeWindow(std::move(seams));
    ASSERT_TRUE(window->StartUp());

    fixture.answerDialog = [](QDialog&) { return int(QDialog::Rejected); };
    window->OnCommand(MenuCommand::kLogout);
    EXPECT_EQ(restarts, 0);
    CProfile stored;
    EXPECT_TRUE(LoadCredentials(stored, "https://www.glimmerly.example"));

    fixture.answerDialog = [](QDialog&) { return int(QDialog::Accepted); };
    window->OnCommand(MenuCommand::kLogout);
    // The new client starts once the credentials are gone, off this thread.
    EXPECT_TRUE(WaitUntil([&] { return restarts == 1; }));
    EXPECT_FALSE(LoadCredentials(stored, "https://www.glimmerly.example"));
    EXPECT_EQ(fixture.dialogsRun, (std::vector<std::string>{"quaylet::CSettingsDlg", "quaylet::CSettingsDlg"}));
}

// The window's own road: stored credentials, the sign-in, an upload refused
// for the photo limit, and the upgrade page opened in the browser. Neither
// the password nor its sign-in hash reaches a page given to the browser, the
// environment every program started from here inherits, the log, or a file
// in the temporary folder.
TEST(MainWindowSecrets, ThePasswordReachesNoPageEnvironmentLogOrTemporaryFile)
{
    MainWindowFixture fixture(ServiceAccount{0, false});
    fixture.StoreCredentials();
    auto window = fixture.MakeWindow();
    ASSERT_TRUE(window->StartUp());
    window->show();
    window->DropUriList(UriList(Photos(1, "a")));
    ASSERT_TRUE(WaitUntil([&] { return Idle(*window) && !fixture.openedPages.empty(); }));

    std::vector<std::pair<std::string, std::string>> places; // what, its text
    for (const std::string& page : fixture.openedPages)
        places.emplace_back("the page " + page, page);
    for (char** variable = environ; *variable; ++variable)
        places.emplace_back("the environment", *variable);
    places.emplace_back("the log", ReadFile("Quaylet.log"));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(std::getenv("TMPDIR")))
        if (entry.is_regular_file())
            places.emplace_back(entry.path().string(), ReadFile(entry.path().string()));
    const std::string password = MainWindowFixture::kPassword;
    for (const auto& [what, text] : places)
        for (const std::string& secret : {password, PasswordHash(password)})
            EXPECT_EQ(text.find(secret), std::string::npos) << what << " holds " << secret;
}

} // namespace
} // namespace quaylet::test
