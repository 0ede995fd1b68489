#include "dialogs/uploadhistorymodel.h"

#include "queuestore/resultreason.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QStyle>

namespace quaylet {

namespace {

bool Shows(HistoryFilter filter, StoredState state)
{
    switch (filter) {
    case HistoryFilter::All:
        return true;
    case HistoryFilter::Uploaded:
        return state == StoredState::Uploaded;
    case HistoryFilter::Failed:
        return state == StoredState::Failed;
    case HistoryFilter::Cancelled:
        return state == StoredState::Cancelled;
    case HistoryFilter::Open:
        return IsOpenState(state);
    }
    return true;
}

QString NameOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return QFile::decodeName(QByteArray::fromStdString(slash == std::string::npos ? path : path.substr(slash + 1)));
}

QString FolderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {};
    return QFile::decodeName(QByteArray::fromStdString(slash == 0 ? std::string("/") : path.substr(0, slash)));
}

QString TimeOf(const StoredRow& row)
{
    const int64_t seconds = row.finishedAt > 0 ? row.finishedAt : row.queuedAt;
    if (seconds <= 0)
        return {};
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

// Why a finished row is not simply uploaded: the reason for a failure, and a
// file the service already held.
QString ReasonOf(const StoredRow& row)
{
    if (row.state != StoredState::Failed && !(row.state == StoredState::Uploaded && row.result == -3))
        return {};
    return QString::fromStdString(ResultReason(row.result));
}

} // namespace

QString HistoryStateText(StoredState state)
{
    switch (state) {
    case StoredState::Queued:
        return QStringLiteral("Queued");
    case StoredState::Preparing:
        return QStringLiteral("Preparing");
    case StoredState::Uploading:
        return QStringLiteral("Uploading");
    case StoredState::Uploaded:
        return QStringLiteral("Uploaded");
    case StoredState::Failed:
        return QStringLiteral("Failed");
    case StoredState::Cancelled:
        return QStringLiteral("Cancelled");
    }
    return {};
}

QIcon HistoryStateIcon(StoredState state)
{
    const char* themed = "document-send";
    QStyle::StandardPixmap own = QStyle::SP_ArrowUp;
    switch (state) {
    case StoredState::Queued:
        themed = "appointment-soon";
        own = QStyle::SP_FileDialogDetailedView;
        break;
    case StoredState::Preparing:
    case StoredState::Uploading:
        break;
    case StoredState::Uploaded:
        themed = "emblem-default";
        own = QStyle::SP_DialogApplyButton;
        break;
    case StoredState::Failed:
        themed = "dialog-error";
        own = QStyle::SP_MessageBoxCritical;
        break;
    case StoredState::Cancelled:
        themed = "process-stop";
        own = QStyle::SP_DialogCancelButton;
        break;
    }
    return QIcon::fromTheme(QString::fromLatin1(themed), QApplication::style()->standardIcon(own));
}

UploadHistoryModel::UploadHistoryModel(QObject* parent) : QAbstractTableModel(parent) {}

UploadHistoryModel::~UploadHistoryModel() = default;

void UploadHistoryModel::setRows(std::vector<StoredRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    select();
    endResetModel();
}

void UploadHistoryModel::setFilter(HistoryFilter filter)
{
    beginResetModel();
    m_filter = filter;
    select();
    endResetModel();
}

void UploadHistoryModel::select()
{
    m_shown.clear();
    for (const StoredRow& row : m_rows) {
        if (Shows(m_filter, row.state))
            m_shown.push_back(&row);
    }
}

const StoredRow* UploadHistoryModel::rowAt(int line) const
{
    return line >= 0 && line < static_cast<int>(m_shown.size()) ? m_shown[static_cast<std::size_t>(line)] : nullptr;
}

int UploadHistoryModel::lineOf(int64_t id) const
{
    for (std::size_t line = 0; line < m_shown.size(); ++line) {
        if (m_shown[line]->id == id)
            return static_cast<int>(line);
    }
    return -1;
}

bool UploadHistoryModel::anyFailed() const
{
    for (const StoredRow& row : m_rows) {
        if (row.state == StoredState::Failed)
            return true;
    }
    return false;
}

int UploadHistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_shown.size());
}

int UploadHistoryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant UploadHistoryModel::data(const QModelIndex& index, int role) const
{
    const StoredRow* row = rowAt(index.row());
    if (row == nullptr)
        return {};
    const int column = index.column();
    if (role == Qt::DisplayRole) {
        switch (column) {
        case Name:
            return NameOf(row->path);
        case Folder:
            return FolderOf(row->path);
        case Size:
            return QLocale().formattedDataSize(row->size, 1, QLocale::DataSizeTraditionalFormat);
        case State:
            return HistoryStateText(row->state);
        case Time:
            return TimeOf(*row);
        case Reason:
            return ReasonOf(*row);
        default:
            return {};
        }
    }
    if (role == Qt::DecorationRole && column == State)
        return HistoryStateIcon(row->state);
    if (role == Qt::ToolTipRole && (column == Name || column == Folder))
        return QFile::decodeName(QByteArray::fromStdString(row->path));
    if (role == Qt::TextAlignmentRole && column == Size)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant UploadHistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Name:
        return QStringLiteral("Name");
    case Folder:
        return QStringLiteral("Folder");
    case Size:
        return QStringLiteral("Size");
    case State:
        return QStringLiteral("State");
    case Time:
        return QStringLiteral("Time");
    case Reason:
        return QStringLiteral("Reason");
    default:
        return {};
    }
}

} // namespace quaylet
