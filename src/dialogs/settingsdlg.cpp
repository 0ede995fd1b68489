#include "dialogs/settingsdlg.h"

#include "api/endpoints.h"
#include "core/stringtable.h"
#include "dialogs/credentialfield.h"
#include "skin/skinregistration.h"
#include "skin/hoverbutton.h"
#include "skin/skinfonts.h"
#include "skin/skinstatic.h"
#include "skin/skintables.h"

#include <QKeyEvent>

namespace quaylet {

namespace {

constexpr qsizetype kFieldCharacters = static_cast<qsizetype>(kMaxCredentialCharacters);

} // namespace

CSettingsDlg::CSettingsDlg(Mode mode, QWidget* parent, SignInRunner signIn, SkinPictureLoader loader)
    : KLSkinDialog(parent, std::move(loader))
    , m_mode(mode)
    , m_signIn(std::move(signIn))
    // The whole address, scheme included: a bare host name is not something
    // the desktop's opener knows how to open.
    , m_siteAddress(SiteAddress())
    , m_userField(std::make_unique<CredentialField>(kFieldCharacters, this))
    , m_passwordField(std::make_unique<CredentialField>(kFieldCharacters, this))
    , m_linkLabel(std::make_unique<CSkinStatic>(this))
    , m_errorLabel(std::make_unique<CSkinStatic>(this))
    , m_okButton(std::make_unique<CHoverButton>(this))
    , m_cancelButton(std::make_unique<CHoverButton>(this))
{
    EnsureSkinFonts();
    const SkinTable& table = mode == Mode::SignIn ? SignInSkin() : SignedInSkin();
    SetSkin(table.skinId, table.maskId, table.overId, table.downId, QColor::fromRgb(table.transparent));
    RegisterSkinTable(*this, table, [this](const SkinElementRow& row) -> SkinRowControl {
        switch (row.controlId) {
        case SkinControl::kUserField:
            return {.edit = m_userField.get()};
        case SkinControl::kPasswordField:
            return {.edit = m_passwordField.get()};
        case SkinControl::kCreateAccount:
            return {.label = m_linkLabel.get()};
        case SkinControl::kSignInError:
            return {.label = m_errorLabel.get()};
        case SkinControl::kOk:
            return {.button = m_okButton.get()};
        case SkinControl::kCancelDialog:
            return {.button = m_cancelButton.get()};
        default:
            return {};
        }
    });
    m_okButton->SetHandCursor(true);
    m_cancelButton->SetHandCursor(true);
    LoadSkin();

    setWindowTitle(QString::fromUtf8(LoadString(str::AppTitle)));
    NameForScreenReaders();
    m_passwordField->setEchoMode(QLineEdit::Password);
    m_linkLabel->SetAddress(m_siteAddress);
    m_linkLabel->setAlignment(Qt::AlignCenter);
    m_linkLabel->SetText(QStringLiteral("Create an account"));
    m_errorLabel->setAlignment(Qt::AlignCenter);
    m_errorLabel->SetText(QString());
    if (m_mode == Mode::SignedIn) {
        m_userField->setReadOnly(true);
        m_passwordField->setReadOnly(true);
        // Read-only, the stand-in reads better as itself than as dots.
        m_passwordField->setEchoMode(QLineEdit::Normal);
    }

    connect(m_userField.get(), &QLineEdit::textChanged, this, &CSettingsDlg::OnFieldChanged);
    connect(m_passwordField.get(), &QLineEdit::textChanged, this, &CSettingsDlg::OnFieldChanged);
    connect(m_okButton.get(), &QAbstractButton::clicked, this, &CSettingsDlg::OnOk);
    connect(m_cancelButton.get(), &QAbstractButton::clicked, this, &QDialog::reject);

    if (m_mode == Mode::SignedIn)
        m_passwordField->setText(QStringLiteral("***"));
    m_userField->setFocus();
}

CSettingsDlg::~CSettingsDlg() = default;

void CSettingsDlg::NameForScreenReaders()
{
    // The captions and the buttons' words are painted into the artwork: the
    // controls carry them as their names. The title stays "Glimmerly";
    // the name tells this window from the main one, which has the same title.
    const bool signIn = m_mode == Mode::SignIn;
    setAccessibleName(signIn ? QStringLiteral("Sign in to Glimmerly") : QStringLiteral("Log out of Glimmerly"));
    m_userField->setAccessibleName(QStringLiteral("User name"));
    m_passwordField->setAccessibleName(QStringLiteral("Password"));
    m_okButton->SetSpokenName(signIn ? QStringLiteral("Login") : QStringLiteral("Logout"));
    m_cancelButton->SetSpokenName(QStringLiteral("Close"));
    // A refusal is read out as it appears, wherever the user is.
    m_errorLabel->SetAlert(true);
}

void CSettingsDlg::SetCurrentUser(const std::string& user)
{
    if (m_mode == Mode::SignedIn)
        m_userField->setText(QString::fromStdString(user));
}

std::string CSettingsDlg::GetTypedUser() const
{
    return m_user;
}

std::string CSettingsDlg::GetTypedPassword() const
{
    return m_password;
}

void CSettingsDlg::ReadFields()
{
    m_user = m_userField->text().toStdString();
    m_password = m_passwordField->text().toStdString();
}

void CSettingsDlg::OnFieldChanged()
{
    ReadFields();
    ApplyOkRule();
}

void CSettingsDlg::ApplyOkRule()
{
    const bool both = !m_user.empty() && !m_password.empty();
    if (both && !m_okButton->isEnabled())
        m_okButton->EnableButton();
    else if (!both && m_okButton->isEnabled())
        m_okButton->DisableButton();
}

void CSettingsDlg::OnOk()
{
    if (m_pending)
        return;
    if (m_mode == Mode::SignedIn) {
        QDialog::accept();
        return;
    }
    ReadFields();
    SetBusy(true);
    m_pending = std::make_unique<CSignInTask>(
        CProfile(m_user, m_password), *this, [this](const SignInAnswer& answer) { OnSignInAnswer(answer); },
        m_signIn);
}

void CSettingsDlg::OnSignInAnswer(const SignInAnswer& answer)
{
    m_pending.reset();
    SetBusy(false);
    if (answer.result == 1) {
        QDialog::accept();
        return;
    }
    m_errorLabel->SetText(QString::fromStdString(answer.errorText));
    // Ready for the next try: the password typed again replaces the refused one.
    m_passwordField->setFocus(Qt::OtherFocusReason);
    m_passwordField->selectAll();
}

void CSettingsDlg::SetBusy(bool busy)
{
    // Read-only rather than disabled: a disabled field gives its focus away
    // (to the link, where a Space would open the browser), and it never came
    // back.
    m_userField->setReadOnly(busy);
    m_passwordField->setReadOnly(busy);
    if (busy) {
        m_okWasEnabled = m_okButton->isEnabled();
        m_okButton->DisableButton();
        setCursor(Qt::BusyCursor);
    } else {
        if (m_okWasEnabled)
            m_okButton->EnableButton();
        unsetCursor();
    }
}

void CSettingsDlg::done(int result)
{
    if (m_pending) {
        m_pending.reset();
        SetBusy(false);
    }
    KLSkinDialog::done(result);
}

void CSettingsDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (m_okButton->isEnabled())
            OnOk();
        event->accept();
        return;
    }
    KLSkinDialog::keyPressEvent(event);
}

} // namespace quaylet
