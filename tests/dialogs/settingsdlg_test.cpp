#include "api/endpoints.h"
#include "devserver/devserverprocess.h"
#include "dialogs/settingsdlg.h"
#include "skin/hoverbutton.h"
#include "skin/skinstatic.h"
#include "skin/skintables.h"
#include "skin/widgetevents.h"
#include "support/sandbox.h"

#include "dialogfixtures.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

namespace quaylet {
namespace {

using test::ExecWhile;
using test::Find;
using test::Type;
using test::WaitUntil;

QLineEdit& UserField(QWidget& dialog)
{
    return Find<QLineEdit>(dialog, SkinControl::kUserField);
}
QLineEdit& PasswordField(QWidget& dialog)
{
    return Find<QLineEdit>(dialog, SkinControl::kPasswordField);
}
CHoverButton& OkButton(QWidget& dialog)
{
    return Find<CHoverButton>(dialog, SkinControl::kOk);
}
CSkinStatic& ErrorLabel(QWidget& dialog)
{
    return Find<CSkinStatic>(dialog, SkinControl::kSignInError);
}

// Lines of the service's request log that mention what.
int CountRequests(const std::string& log, const std::string& what)
{
    int n = 0;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        n += line.find(what) != std::string::npos ? 1 : 0;
    return n;
}

// A development service for one test, with QUAYLET_SERVICE_URL pointing at it.
class SignInDialogTest : public ::testing::Test {
protected:
    void StartServer(const std::vector<std::string>& args = {})
    {
        m_server = std::make_unique<test::DevServerProcess>(test::SandboxPath("data"), args);
        ASSERT_TRUE(m_server->running());
        ::setenv(kServiceUrlVariable, m_server->origin().c_str(), 1);
    }
    test::DevServerProcess& server() { return *m_server; }

private:
    std::unique_ptr<test::DevServerProcess> m_server;
};

TEST_F(SignInDialogTest, GoodCredentialsCloseWithOkAndStayReadable)
{
    StartServer();
    CSettingsDlg dialog(CSettingsDlg::Mode::SignIn);
    const int result = ExecWhile(dialog, [&] {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Glimmerly"));
        EXPECT_EQ(dialog.focusWidget(), &UserField(dialog));
        EXPECT_EQ(PasswordField(dialog).echoMode(), QLineEdit::Password);
        Type(UserField(dialog), QStringLiteral("alice"));
        Type(PasswordField(dialog), QStringLiteral("wonderland"));
        test::Click(OkButton(dialog));
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.GetTypedUser(), "alice");
    EXPECT_EQ(dialog.GetTypedPassword(), "wonderland");
    EXPECT_EQ(CountRequests(server().errorOutput(), "User.login"), 1);
}

TEST_F(SignInDialogTest, ARefusalShowsTheServicesTextInRedAndOkAgainSucceeds)
{
    StartServer();
    CSettingsDlg dialog(CSettingsDlg::Mode::SignIn);
    const int result = ExecWhile(dialog, [&] {
        Type(UserField(dialog), QStringLiteral("alice"));
        Type(PasswordField(dialog), QStringLiteral("looking-glass"));
        test::Key(PasswordField(dialog), Qt::Key_Return);
        ASSERT_TRUE(WaitUntil([&] { return !ErrorLabel(dialog).text().isEmpty(); }, 10000));
        EXPECT_EQ(ErrorLabel(dialog).text(), QStringLiteral("Invalid username or password"));
        EXPECT_EQ(ErrorLabel(dialog).palette().color(QPalette::WindowText), QColor(255, 0, 0));
        EXPECT_TRUE(dialog.isVisible());
        // The fields keep their contents and take input again; the focus is
        // back in the password field with the refused password selected, so
        // typing it again replaces it.
        EXPECT_FALSE(UserField(dialog).isReadOnly());
        EXPECT_EQ(UserField(dialog).text(), QStringLiteral("alice"));
        EXPECT_EQ(dialog.focusWidget(), &PasswordField(dialog));
        EXPECT_EQ(PasswordField(dialog).selectedText(), QStringLiteral("looking-glass"));
        Type(PasswordField(dialog), QStringLiteral("wonderland"));
        test::Key(PasswordField(dialog), Qt::Key_Return);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.GetTypedPassword(), "wonderland");
}

TEST_F(SignInDialogTest, CancelDuringAStalledSignInAbortsItAtOnce)
{
    StartServer({"--fault", "delay=30000@User.login"});
    for (const int cancelKey : {int(Qt::Key_Escape), 0}) {
        SCOPED_TRACE(cancelKey == 0 ? "cross" : "Escape");
        CSettingsDlg dialog(CSettingsDlg::Mode::SignIn);
        QElapsedTimer cancelled;
        const int result = ExecWhile(dialog, [&] {
            Type(UserField(dialog), QStringLiteral("alice"));
            Type(PasswordField(dialog), QStringLiteral("wonderland"));
            test::Click(OkButton(dialog));
            // Waiting for the service: painted and busy, nothing to type into.
            WaitUntil([] { return false; }, 300);
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_EQ(dialog.cursor().shape(), Qt::BusyCursor);
            EXPECT_TRUE(UserField(dialog).isReadOnly());
            EXPECT_TRUE(PasswordField(dialog).isReadOnly());
            EXPECT_FALSE(OkButton(dialog).isEnabled());
            cancelled.start();
            if (cancelKey != 0)
                test::Key(dialog, cancelKey);
            else
                test::Click(Find<CHoverButton>(dialog, SkinControl::kCancelDialog));
        });
        EXPECT_EQ(result, QDialog::Rejected);
        // Far below the service's delay: the exchange was interrupted, not waited for.
        EXPECT_LT(cancelled.elapsed(), 2000);
    }
}

TEST_F(SignInDialogTest, AnAnswerArrivingAfterTheDialogClosedIsDropped)
{
    // A sign-in that ignores the abort and answers "signed in" late.
    std::atomic<int> calls{0};
    CSettingsDlg dialog(CSettingsDlg::Mode::SignIn, nullptr, [&calls](const CProfile&, std::string&) {
        ++calls;
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        return 1;
    });
    const int result = ExecWhile(dialog, [&] {
        Type(UserField(dialog), QStringLiteral("alice"));
        Type(PasswordField(dialog), QStringLiteral("wonderland"));
        test::Click(OkButton(dialog));
        WaitUntil([&] { return calls == 1; }, 2000);
        dialog.close();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    WaitUntil([] { return false; }, 800);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(SignInDialogFieldsTest, OkIsEnabledOnlyWhileBothFieldsHoldText)
{
    CSettingsDlg dialog(CSettingsDlg::Mode::SignIn);
    dialog.show();
    CHoverButton& ok = OkButton(dialog);
    EXPECT_TRUE(ok.isEnabled()); // before the first change
    Type(UserField(dialog), QStringLiteral("alice"));
    EXPECT_FALSE(ok.isEnabled());
    Type(PasswordField(dialog), QStringLiteral("w"));
    EXPECT_TRUE(ok.isEnabled());
    test::Key(PasswordField(dialog), Qt::Key_Backspace);
    EXPECT_FALSE(ok.isEnabled());
    EXPECT_EQ(dialog.GetTypedPassword(), "");
    // Enter does nothing while OK is disabled.
    test::Key(dialog, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
}

TEST(SignInDialogFieldsTest, ThirtyCharactersFitAndTheThirtyFirstIsRefused)
{
    struct Case {
        const char* what;
        QString character;
        std::size_t bytes; // UTF-8 bytes of one character
    };
    const Case cases[] = {
        {"ASCII", QStringLiteral("a"), 1},
        {"two-byte UTF-8", QString::fromUtf8("\xc3\xa9"), 2},          // é
        {"three-byte UTF-8", QString::fromUtf8("\xe2\x82\xac"), 3},    // €
        {"outside the BMP", QString::fromUtf8("\xf0\x9f\x93\xb7"), 4}, // camera, two UTF-16 units
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CSettingsDlg dialog(CSettingsDlg::Mode::SignIn);
        for (QLineEdit* field : {&UserField(dialog), &PasswordField(dialog)}) {
            Type(*field, c.character.repeated(31));
            EXPECT_EQ(field->text().toStdString(), c.character.repeated(30).toStdString());
        }
        EXPECT_EQ(dialog.GetTypedUser().size(), 30 * c.bytes);
        EXPECT_EQ(dialog.GetTypedPassword().size(), 30 * c.bytes);
    }
}

TEST(SignInDialogFieldsTest, EscapeAndTheCrossEndWithCancelInBothModes)
{
    for (const auto mode : {CSettingsDlg::Mode::SignIn, CSettingsDlg::Mode::SignedIn}) {
        for (const bool cross : {false, true}) {
            SCOPED_TRACE(cross ? "cross" : "Escape");
            CSettingsDlg dialog(mode);
            const int result = ExecWhile(dialog, [&] {
                if (cross)
                    test::Click(Find<CHoverButton>(dialog, SkinControl::kCancelDialog));
                else
                    test::Key(dialog, Qt::Key_Escape);
            });
            EXPECT_EQ(result, QDialog::Rejected);
        }
    }
}

TEST(SignInDialogFieldsTest, TheAccountLinkOpensTheSite)
{
    test::OpenedLinks links;
    struct Case {
        const char* serviceUrl; // nothing: the real site
        std::string opened;
    };
    const Case cases[] = {
        {nullptr, "https://www.glimmerly.example"},
        {"http://127.0.0.1:8080", "http://127.0.0.1:8080"},
    };
    for (const Case& c : cases) {
        c.serviceUrl ? ::setenv(kServiceUrlVariable, c.serviceUrl, 1) : ::unsetenv(kServiceUrlVariable);
        links.addresses.clear();
        CSettingsDlg dialog(CSettingsDlg::Mode::SignIn);
        dialog.show();
        CSkinStatic& link = Find<CSkinStatic>(dialog, SkinControl::kCreateAccount);
        EXPECT_EQ(link.text(), QStringLiteral("Create an account"));
        test::Click(link);
        EXPECT_EQ(links.addresses, std::vector<std::string>{c.opened});
        EXPECT_TRUE(dialog.isVisible());
    }
}

TEST_F(SignInDialogTest, SignedInModeShowsTheUserReadOnlyAndLogsOutWithoutARequest)
{
    StartServer();
    CSettingsDlg dialog(CSettingsDlg::Mode::SignedIn, nullptr);
    dialog.SetCurrentUser("alice");
    const int result = ExecWhile(dialog, [&] {
        EXPECT_TRUE(UserField(dialog).isReadOnly());
        EXPECT_TRUE(PasswordField(dialog).isReadOnly());
        EXPECT_EQ(UserField(dialog).text(), QStringLiteral("alice"));
        // Shown as what it is, not as dots.
        EXPECT_EQ(PasswordField(dialog).displayText(), QStringLiteral("***"));
        Type(UserField(dialog), QStringLiteral("x"));
        EXPECT_EQ(UserField(dialog).text(), QStringLiteral("alice"));
        test::Click(OkButton(dialog));
    });
    EXPECT_EQ(result, QDialog::Accepted);
    WaitUntil([] { return false; }, 200);
    EXPECT_EQ(CountRequests(server().errorOutput(), "User.login"), 0);
}

} // namespace
} // namespace quaylet
