#pragma once

// The rows of the upload history as a table: name, folder, size, state (with
// its icon), time and, for a file that did not reach the service, the reason.
// The rows come in newest first and keep that order; a filter by state picks
// which of them show.

#include "queuestore/queuestore.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <vector>

namespace quaylet {

enum class HistoryFilter { All, Uploaded, Failed, Cancelled, Open };

class UploadHistoryModel final : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UploadHistoryModel)

public:
    enum Column { Name, Folder, Size, State, Time, Reason, ColumnCount };

    explicit UploadHistoryModel(QObject* parent = nullptr);
    ~UploadHistoryModel() override;

    void setRows(std::vector<StoredRow> rows);
    void setFilter(HistoryFilter filter);
    HistoryFilter filter() const { return m_filter; }
    // The row shown at a line of the table; nullptr past the end.
    const StoredRow* rowAt(int line) const;
    // The line showing the stored row of this id; -1 when it does not show.
    int lineOf(int64_t id) const;
    // Whether any row (shown or not) failed: what "Retry Failed" would queue.
    bool anyFailed() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void select();

    std::vector<StoredRow> m_rows;
    std::vector<const StoredRow*> m_shown;
    HistoryFilter m_filter = HistoryFilter::All;
};

// The state in words, capitalised: "Uploaded", "Failed", ...
QString HistoryStateText(StoredState state);
// The state's icon: from the desktop's icon theme, else the style's own.
QIcon HistoryStateIcon(StoredState state);

} // namespace quaylet
