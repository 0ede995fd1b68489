#pragma once

// The weekly update check's prompt: a plain dialog that asks whether to
// download a newer version of the client.
//
// Constructing it runs the whole check: when one is due, the version file is
// fetched off the window thread, and only when it names a newer version does
// the dialog show itself, modal to its parent, with the question. Otherwise it
// ends unseen, through its Cancel path. finished() reports the end either way.
// The time of the check is recorded when a check that was due has answered,
// once the dialog ends (or is destroyed), whatever the outcome.

#include "core/version.h"
#include "update/checktime.h"

#include <QDialog>

#include <array>
#include <memory>
#include <optional>
#include <string>

class QGridLayout;
class QLabel;
class QPushButton;

namespace quaylet {

class CBackgroundTask;
struct UpdateCheckAnswer;

struct UpdateCheckSeams {
    LocalClock clock; // empty: the system's local time
    // Empty: the version file on the service's web site.
    std::string versionFileAddress;
    std::optional<std::array<int, 4>> ownVersion = GetOwnVersion();
};

// The address of the version file on the service's web site.
std::string VersionFileAddress();

class CUpdateCheckDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CUpdateCheckDlg)

public:
    // Control ids, also the controls' object names.
    static constexpr int kYes = 1;
    static constexpr int kRemindMeLater = 2;
    static constexpr int kMessage = 1006;

    explicit CUpdateCheckDlg(QWidget* parent = nullptr, UpdateCheckSeams seams = {});
    ~CUpdateCheckDlg() override;

    // True when no check was due, so none was made.
    bool notDue() const { return m_notDue; }

    // Yes opens the download page; every ending records the time of a check
    // that has answered.
    void done(int result) override;

private:
    void OnChecked(const UpdateCheckAnswer& answer);
    void RecordCheck();

    const UpdateCheckSchedule m_schedule;
    bool m_notDue = false;
    // A due check has answered and its time is not yet recorded.
    bool m_unrecorded = false;
    std::string m_downloadAddress;
    // Declared first so that it goes last, after the controls it places.
    std::unique_ptr<QGridLayout> m_layout;
    std::unique_ptr<QLabel> m_message;
    std::unique_ptr<QPushButton> m_yes;
    std::unique_ptr<QPushButton> m_later;
    // The check in flight, if any; destroying it drops its answer.
    std::unique_ptr<CBackgroundTask> m_pending;
};

// The main window's weekly check at its first showing. Returns at once; the
// dialog, a child of the window, asks only when a newer version exists and
// deletes itself when it has ended (or goes with the window).
void RunWeeklyUpdateCheck(QWidget& mainWindow);

} // namespace quaylet
