#pragma once

// The upload history: a plain, resizable window (not skinned) listing the
// account's recent files newest first, with a filter by state, "Retry Failed"
// and "Open Folder". It shows what it is given: its owner reads the rows from
// the queue store and hands them over again whenever they change, and is
// asked to queue the failed files again.
//
// Keyboard: the table has the focus first, Enter on a row opens its folder,
// Escape closes the window. Every control carries a name for screen readers.
//
// Threads: window thread only.

#include "dialogs/uploadhistorymodel.h"
#include "platform/filereveal.h"

#include <QWidget>

#include <memory>
#include <vector>

class QComboBox;
class QPushButton;
class QTableView;

namespace quaylet {

class CUploadHistoryWnd final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CUploadHistoryWnd)

public:
    CUploadHistoryWnd(std::unique_ptr<platform::IFileRevealer> revealer, QWidget* parent = nullptr);
    ~CUploadHistoryWnd() override;

    // The rows, newest first; the selected row stays selected if it is there.
    void setRows(std::vector<StoredRow> rows);

    // Shows the folder of the selected row's file.
    void openSelectedFolder();

    // For tests and screenshots.
    UploadHistoryModel& model() { return *m_model; }
    QTableView& table() { return *m_table; }
    QComboBox& filter() { return *m_filter; }
    QPushButton& retryButton() { return *m_retry; }
    QPushButton& openFolderButton() { return *m_openFolder; }

Q_SIGNALS:
    // "Retry Failed": the owner queues every failed file again.
    void retryFailedRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    const StoredRow* selectedRow() const;
    void updateButtons();

    std::unique_ptr<platform::IFileRevealer> m_revealer;
    UploadHistoryModel* m_model;
    QComboBox* m_filter;
    QTableView* m_table;
    QPushButton* m_retry;
    QPushButton* m_openFolder;
    QPushButton* m_close;
};

} // namespace quaylet
