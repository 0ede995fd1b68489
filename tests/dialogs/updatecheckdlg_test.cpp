#include "dialogs/updatecheckdlg.h"

#include "core/settings.h"
#include "devserver/devserverprocess.h"
#include "platform/loopbackserver.h"
#include "skin/widgetevents.h"
#include "support/sandbox.h"
#include "update/browserlaunch.h"

#include "dialogfixtures.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace quaylet {
namespace {

using test::DevServerProcess;
using test::SandboxPath;
using test::WaitUntil;
using test::WriteFile;

const QDateTime kNow(QDate(2026, 12, 9), QTime(21, 11, 23));
const std::string kNowText = "2026-12-09T21:11:23";
constexpr const char* kQuestion67To68 = "You're currently using version 6.7 of Quaylet. The newest version 6.8 is "
                                        "available online. Do you want to begin downloading?";

std::string CheckTime()
{
    return GetSettingString(kSettingsSection, "UpdateCheckTime", "(missing)");
}

// The development service publishing major.minor, and what the dialog opens.
class UpdateCheckDialogTest : public ::testing::Test {
protected:
    void Publish(int major, int minor)
    {
        const std::string config = SandboxPath("service.conf");
        WriteFile(config, "[version]\nmajor = " + std::to_string(major) + "\nminor = " + std::to_string(minor) + "\n");
        m_server = std::make_unique<DevServerProcess>(SandboxPath("data"), std::vector<std::string>{"--config", config});
        ASSERT_TRUE(m_server->running());
    }

    UpdateCheckSeams Seams() const
    {
        return {.clock = [] { return kNow; },
                .versionFileAddress = m_server->origin() + "/binaries/version.txt",
                .ownVersion = std::array{6, 7, 0, 2}};
    }

    int Asked() const
    {
        int count = 0;
        const std::string log = m_server->errorOutput();
        for (auto at = log.find("GET /binaries/version.txt"); at != std::string::npos;
             at = log.find("GET /binaries/version.txt", at + 1))
            ++count;
        return count;
    }

    void SetUp() override
    {
        m_previousStarter = SetBrowserStarter([this](const std::string&, const std::vector<std::string>& arguments) {
            m_opened.insert(m_opened.end(), arguments.begin(), arguments.end());
            return true;
        });
    }
    void TearDown() override { SetBrowserStarter(std::move(m_previousStarter)); }

    std::unique_ptr<DevServerProcess> m_server;
    std::vector<std::string> m_opened;
    BrowserStarter m_previousStarter;
};

TEST_F(UpdateCheckDialogTest, ANewerVersionIsAskedAboutAndYesOpensItsDownloadPage)
{
    Publish(6, 8);
    CUpdateCheckDlg dialog(nullptr, Seams());
    ASSERT_TRUE(WaitUntil([&] { return dialog.isVisible(); }));
    EXPECT_TRUE(dialog.isModal());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Quaylet Web Update"));
    EXPECT_EQ(test::Find<QLabel>(dialog, CUpdateCheckDlg::kMessage).text().toStdString(), kQuestion67To68);
    auto& yes = test::Find<QPushButton>(dialog, CUpdateCheckDlg::kYes);
    auto& later = test::Find<QPushButton>(dialog, CUpdateCheckDlg::kRemindMeLater);
    EXPECT_EQ(yes.text(), QStringLiteral("&Yes"));
    EXPECT_TRUE(yes.isDefault());
    EXPECT_EQ(later.text(), QStringLiteral("&Remind Me Later"));
    // Recorded once the user has answered, not before.
    EXPECT_EQ(CheckTime(), "(missing)");

    int result = -1;
    QObject::connect(&dialog, &QDialog::finished, [&result](int r) { result = r; });
    test::Click(yes);
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(m_opened, std::vector<std::string>{m_server->origin() + "/download.html"});
    EXPECT_EQ(CheckTime(), kNowText);
    EXPECT_EQ(Asked(), 1);
}

TEST_F(UpdateCheckDialogTest, RemindMeLaterAndEscapeRecordTheCheckAndOpenNothing)
{
    Publish(7, 0);
    struct Case {
        const char* what;
        std::function<void(CUpdateCheckDlg&)> answer;
    };
    const Case cases[] = {
        {"Remind Me Later",
         [](CUpdateCheckDlg& d) { test::Click(test::Find<QPushButton>(d, CUpdateCheckDlg::kRemindMeLater)); }},
        {"Escape", [](CUpdateCheckDlg& d) { test::Key(d, Qt::Key_Escape); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetSettingString(kSettingsSection, "UpdateCheckTime", "");
        CUpdateCheckDlg dialog(nullptr, Seams());
        int result = -1;
        QObject::connect(&dialog, &QDialog::finished, [&result](int r) { result = r; });
        ASSERT_TRUE(WaitUntil([&] { return dialog.isVisible(); }));
        c.answer(dialog);
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(CheckTime(), kNowText);
    }
    EXPECT_TRUE(m_opened.empty());
}

TEST_F(UpdateCheckDialogTest, NoNewerVersionOrNoServerEndsUnseenAndRecordsTheCheck)
{
    struct Case {
        const char* what;
        int major;
        int minor;
        std::string path;
    };
    const Case cases[] = {
        {"equal", 6, 7, "/binaries/version.txt"},
        {"older", 6, 6, "/binaries/version.txt"},
        {"error page", 9, 0, "/binaries/missing.txt"},
        {"unreachable", 9, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetSettingString(kSettingsSection, "UpdateCheckTime", "");
        Publish(c.major, c.minor);
        UpdateCheckSeams seams = Seams();
        seams.versionFileAddress = c.path.empty() ? "http://127.0.0.1:1/binaries/version.txt" : m_server->origin() + c.path;
        CUpdateCheckDlg dialog(nullptr, std::move(seams));
        bool shown = false;
        int result = -1;
        QObject::connect(&dialog, &QDialog::finished, [&](int r) {
            shown = shown || dialog.isVisible();
            result = r;
        });
        ASSERT_TRUE(WaitUntil([&] { return result != -1; }, 20000));
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_FALSE(shown);
        EXPECT_FALSE(dialog.notDue());
        EXPECT_EQ(CheckTime(), kNowText);
    }
    EXPECT_TRUE(m_opened.empty());
}

TEST_F(UpdateCheckDialogTest, WithinTheWeekNothingIsAskedAndTheSettingStays)
{
    Publish(9, 0);
    struct Case {
        std::string stored;
        bool due;
    };
    const Case cases[] = {
        {"2026-12-03T22:11:23", false}, // 6 days 23 hours ago
        {"2026-12-02T21:11:23", true},  // 7 days ago
        {"2026-12-19T21:11:23", true},  // 10 days in the future
        {"", true},
        {"last Tuesday", true},
    };
    int asked = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        SetSettingString(kSettingsSection, "UpdateCheckTime", c.stored);
        CUpdateCheckDlg dialog(nullptr, Seams());
        int result = -1;
        QObject::connect(&dialog, &QDialog::finished, [&result](int r) { result = r; });
        ASSERT_TRUE(WaitUntil([&] { return result != -1 || dialog.isVisible(); }, 20000));
        EXPECT_EQ(dialog.notDue(), !c.due);
        EXPECT_EQ(dialog.isVisible(), c.due);
        asked += c.due ? 1 : 0;
        EXPECT_EQ(Asked(), asked);
        if (c.due)
            dialog.reject();
        EXPECT_EQ(CheckTime(), c.due ? kNowText : c.stored);
    }
}

TEST_F(UpdateCheckDialogTest, TheWeeklyCheckReturnsAtOnceAndAsksOnTheServicesVersionFile)
{
    Publish(GetOwnVersion()[0] + 1, 0);
    ::setenv("QUAYLET_SERVICE_URL", m_server->origin().c_str(), 1);
    QWidget mainWindow;
    RunWeeklyUpdateCheck(mainWindow);
    CUpdateCheckDlg* dialog = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        dialog = mainWindow.findChild<CUpdateCheckDlg*>();
        return dialog != nullptr && dialog->isVisible();
    }));
    const std::string question = test::Find<QLabel>(*dialog, CUpdateCheckDlg::kMessage).text().toStdString();
    const std::string own = std::to_string(GetOwnVersion()[0]) + "." + std::to_string(GetOwnVersion()[1]);
    EXPECT_NE(question.find("using version " + own + " of"), std::string::npos) << question;
    EXPECT_NE(question.find("newest version " + std::to_string(GetOwnVersion()[0] + 1) + ".0 is"), std::string::npos)
        << question;
    dialog->reject();
    // It goes once it has ended (a test runs no event loop that deletes by itself).
    EXPECT_TRUE(WaitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return mainWindow.findChild<CUpdateCheckDlg*>() == nullptr;
    }));
    EXPECT_NE(CheckTime(), "(missing)");
}

TEST_F(UpdateCheckDialogTest, AWindowClosedDuringASlowFetchNeitherWaitsNorRecords)
{
    // A service that takes the request and never answers.
    test::LoopbackServer silent([&silent](int fd) {
        test::LoopbackServer::ReadRequest(fd);
        while (!silent.stopping())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    });
    ::setenv("QUAYLET_SERVICE_URL", silent.origin().c_str(), 1);
    auto mainWindow = std::make_unique<QWidget>();
    const auto start = std::chrono::steady_clock::now();
    RunWeeklyUpdateCheck(*mainWindow);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    // The window thread stays free while the request waits for its answer.
    EXPECT_FALSE(WaitUntil([&] { return mainWindow->findChild<CUpdateCheckDlg*>()->isVisible(); }, 500));
    const auto closing = std::chrono::steady_clock::now();
    mainWindow.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(2));
    EXPECT_EQ(CheckTime(), "(missing)");
}

} // namespace
} // namespace quaylet
