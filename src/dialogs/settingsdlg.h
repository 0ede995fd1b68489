#pragma once

// The sign-in dialog: a user name and a password typed for the service, or,
// in signed-in mode, the current user shown read-only before logging out.

#include "credentials/signintask.h"
#include "skin/skindialog.h"

#include <memory>
#include <string>

namespace quaylet {

class CHoverButton;
class CSkinStatic;
class CredentialField;

class CSettingsDlg final : public KLSkinDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSettingsDlg)

public:
    enum class Mode { SignIn, SignedIn };

    // signIn: how OK signs in (tests may pass their own); empty: the real
    // sign-in call. Either way it runs off the window thread and is aborted
    // by Cancel.
    CSettingsDlg(Mode mode, QWidget* parent = nullptr, SignInRunner signIn = {},
                 SkinPictureLoader loader = LoadSkinPictureResource);
    ~CSettingsDlg() override;

    // Before exec(), signed-in mode: the user name to show.
    void SetCurrentUser(const std::string& user);
    // The texts last read from the fields (UTF-8); they stay readable after
    // the dialog has closed.
    std::string GetTypedUser() const;
    std::string GetTypedPassword() const;

    // exec(): QDialog::Accepted for OK, QDialog::Rejected for Cancel.

private:
    void NameForScreenReaders();
    void ReadFields();
    void OnFieldChanged();
    void OnOk();
    void OnSignInAnswer(const SignInAnswer& answer);
    void SetBusy(bool busy);
    void ApplyOkRule();

    // Every ending (OK, Cancel, Escape, the cross, a close) drops the
    // sign-in in flight.
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;

    const Mode m_mode;
    SignInRunner m_signIn;
    const std::string m_siteAddress;
    std::string m_user;
    std::string m_password;
    // Children of the dialog, deleted before the base class drops the skin
    // elements that refer to them.
    std::unique_ptr<CredentialField> m_userField;
    std::unique_ptr<CredentialField> m_passwordField;
    std::unique_ptr<CSkinStatic> m_linkLabel;
    std::unique_ptr<CSkinStatic> m_errorLabel;
    std::unique_ptr<CHoverButton> m_okButton;
    std::unique_ptr<CHoverButton> m_cancelButton;
    // OK's enabled state from before the sign-in in flight disabled it.
    bool m_okWasEnabled = true;
    // The sign-in in flight, if any; destroying it drops its answer.
    std::unique_ptr<CSignInTask> m_pending;
};

} // namespace quaylet
