#include "dialogs/updatecheckdlg.h"

#include "api/endpoints.h"
#include "core/backgroundtask.h"
#include "core/stringtable.h"
#include "update/browserlaunch.h"
#include "update/updatecheck.h"
#include "update/versionfile.h"

#include <QGridLayout>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>

namespace quaylet {

std::string VersionFileAddress()
{
    return SiteAddress() + "/binaries/version.txt";
}

CUpdateCheckDlg::CUpdateCheckDlg(QWidget* parent, UpdateCheckSeams seams)
    : QDialog(parent)
    , m_schedule(std::move(seams.clock))
    , m_layout(std::make_unique<QGridLayout>())
    , m_message(std::make_unique<QLabel>(QStringLiteral("Update Message"), this))
    , m_yes(std::make_unique<QPushButton>(QStringLiteral("&Yes"), this))
    , m_later(std::make_unique<QPushButton>(QStringLiteral("&Remind Me Later"), this))
{
    setWindowTitle(QStringLiteral("Quaylet Web Update"));
    m_message->setObjectName(QString::number(kMessage));
    m_message->setWordWrap(true);
    m_yes->setObjectName(QString::number(kYes));
    m_yes->setDefault(true);
    m_later->setObjectName(QString::number(kRemindMeLater));
    m_later->setAutoDefault(false);
    connect(m_yes.get(), &QPushButton::clicked, this, &QDialog::accept);
    connect(m_later.get(), &QPushButton::clicked, this, &QDialog::reject);

    m_layout->addWidget(m_message.get(), 0, 0, 1, 3);
    m_layout->addWidget(m_yes.get(), 1, 1);
    m_layout->addWidget(m_later.get(), 1, 2);
    m_layout->setColumnStretch(0, 1);
    setLayout(m_layout.get());

    m_notDue = !m_schedule.due();
    if (m_notDue) {
        // Ended after construction, so that the caller sees finished().
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
        return;
    }
    std::string address = seams.versionFileAddress.empty() ? VersionFileAddress() : seams.versionFileAddress;
    // Shared with the worker, which may outlive the dialog when the fetch
    // ignores its abort for longer than the task waits.
    auto check = std::make_shared<CUpdateCheck>(seams.ownVersion);
    m_pending = std::make_unique<CBackgroundTask>(*this, [this, check, address = std::move(address)] {
        return [this, answer = RunUpdateCheck(*check, address)] { OnChecked(answer); };
    });
}

CUpdateCheckDlg::~CUpdateCheckDlg()
{
    m_pending.reset();
    RecordCheck(); // the window went while the question was shown
}

void CUpdateCheckDlg::OnChecked(const UpdateCheckAnswer& answer)
{
    m_pending.reset();
    m_unrecorded = true;
    if (answer.result != 1) {
        reject();
        return;
    }
    m_downloadAddress = answer.downloadAddress;
    m_message->setText(QString::asprintf(LoadString(str::NewVersionQuestion), VersionMajor(answer.ownVersion),
                                         VersionMinor(answer.ownVersion), VersionMajor(answer.webVersion),
                                         VersionMinor(answer.webVersion)));
    open();
}

void CUpdateCheckDlg::RecordCheck()
{
    if (!m_unrecorded)
        return;
    m_unrecorded = false;
    m_schedule.record();
}

void CUpdateCheckDlg::done(int result)
{
    // An ending before the answer abandons the check: nothing was checked.
    m_pending.reset();
    if (result == QDialog::Accepted && !m_downloadAddress.empty())
        OpenUrlWithShell(m_downloadAddress);
    RecordCheck();
    QDialog::done(result);
}

void RunWeeklyUpdateCheck(QWidget& mainWindow)
{
    auto dialog = std::make_unique<CUpdateCheckDlg>(&mainWindow);
    QObject::connect(dialog.get(), &QDialog::finished, dialog.get(), &QObject::deleteLater);
    // From here the main window, its parent, owns it until it deletes itself.
    dialog.release();
}

} // namespace quaylet
