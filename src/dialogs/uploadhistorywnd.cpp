#include "dialogs/uploadhistorywnd.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

namespace quaylet {

namespace {

struct FilterChoice {
    const char* text;
    HistoryFilter filter;
};

constexpr FilterChoice kFilterChoices[] = {
    {"All", HistoryFilter::All},
    {"Uploaded", HistoryFilter::Uploaded},
    {"Failed", HistoryFilter::Failed},
    {"Cancelled", HistoryFilter::Cancelled},
    {"Queued or in progress", HistoryFilter::Open},
};

} // namespace

CUploadHistoryWnd::CUploadHistoryWnd(std::unique_ptr<platform::IFileRevealer> revealer, QWidget* parent)
    // A dialog to the window manager, so that it stays above the drop window
    // (always on top or not) as the other dialogs do; resizable and not modal.
    : QWidget(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint),
      m_revealer(std::move(revealer)),
      m_model(new UploadHistoryModel(this)),
      m_filter(new QComboBox(this)),
      m_table(new QTableView(this)),
      m_retry(new QPushButton(QStringLiteral("&Retry Failed"), this)),
      m_openFolder(new QPushButton(QStringLiteral("&Open Folder"), this)),
      m_close(new QPushButton(QStringLiteral("Close"), this))
{
    setWindowTitle(QStringLiteral("Upload History"));
    setAccessibleName(QStringLiteral("Upload History"));

    auto* filterLabel = new QLabel(QStringLiteral("&Show:"), this);
    filterLabel->setBuddy(m_filter);
    for (const FilterChoice& choice : kFilterChoices)
        m_filter->addItem(QString::fromLatin1(choice.text), static_cast<int>(choice.filter));
    m_filter->setAccessibleName(QStringLiteral("Show"));
    connect(m_filter, &QComboBox::currentIndexChanged, this, [this](int index) {
        const int64_t selected = selectedRow() != nullptr ? selectedRow()->id : 0;
        m_model->setFilter(static_cast<HistoryFilter>(m_filter->itemData(index).toInt()));
        if (const int line = m_model->lineOf(selected); line >= 0)
            m_table->selectRow(line);
        updateButtons();
    });

    m_table->setModel(m_model);
    m_table->setAccessibleName(QStringLiteral("Uploaded files"));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setTabKeyNavigation(false);
    m_table->setWordWrap(false);
    m_table->setShowGrid(false);
    m_table->setAlternatingRowColors(true);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->setColumnWidth(UploadHistoryModel::Name, 180);
    m_table->setColumnWidth(UploadHistoryModel::Folder, 210);
    m_table->setColumnWidth(UploadHistoryModel::Size, 80);
    m_table->setColumnWidth(UploadHistoryModel::State, 110);
    m_table->setColumnWidth(UploadHistoryModel::Time, 150);
    // Enter (and a double click) on a row shows its file.
    connect(m_table, &QTableView::activated, this, [this] { openSelectedFolder(); });
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { updateButtons(); });

    m_retry->setAccessibleName(QStringLiteral("Retry Failed"));
    m_openFolder->setAccessibleName(QStringLiteral("Open Folder"));
    m_close->setAccessibleName(QStringLiteral("Close"));
    m_retry->setAutoDefault(false);
    m_openFolder->setAutoDefault(false);
    m_close->setAutoDefault(false);
    connect(m_retry, &QPushButton::clicked, this, &CUploadHistoryWnd::retryFailedRequested);
    connect(m_openFolder, &QPushButton::clicked, this, [this] { openSelectedFolder(); });
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);

    auto* top = new QHBoxLayout;
    top->addWidget(filterLabel);
    top->addWidget(m_filter);
    top->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_retry);
    buttons->addWidget(m_openFolder);
    buttons->addStretch();
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);

    setTabOrder(m_table, m_filter);
    setTabOrder(m_filter, m_retry);
    setTabOrder(m_retry, m_openFolder);
    setTabOrder(m_openFolder, m_close);
    // Wide enough for the longest reason beside the other columns, on a
    // screen that has the room.
    QSize size(1100, 420);
    if (const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(size);
    updateButtons();
}

CUploadHistoryWnd::~CUploadHistoryWnd() = default;

void CUploadHistoryWnd::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_table->setFocus(Qt::OtherFocusReason);
}

void CUploadHistoryWnd::keyPressEvent(QKeyEvent* event)
{
    // What the controls leave alone comes here; Escape closes, as in a dialog.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CUploadHistoryWnd::setRows(std::vector<StoredRow> rows)
{
    const StoredRow* selected = selectedRow();
    const int64_t selectedId = selected != nullptr ? selected->id : 0;
    const int currentColumn = m_table->currentIndex().isValid() ? m_table->currentIndex().column() : 0;
    // The rows come again with every change while files go: where the user
    // has scrolled to stays put.
    const int scrolledTo = m_table->verticalScrollBar()->value();
    m_model->setRows(std::move(rows));
    if (const int line = m_model->lineOf(selectedId); line >= 0) {
        m_table->setCurrentIndex(m_model->index(line, currentColumn));
        m_table->selectRow(line);
    }
    m_table->verticalScrollBar()->setValue(scrolledTo);
    updateButtons();
}

const StoredRow* CUploadHistoryWnd::selectedRow() const
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : m_model->rowAt(rows.front().row());
}

void CUploadHistoryWnd::openSelectedFolder()
{
    if (const StoredRow* row = selectedRow())
        m_revealer->reveal(row->path);
}

void CUploadHistoryWnd::updateButtons()
{
    m_retry->setEnabled(m_model->anyFailed());
    m_openFolder->setEnabled(selectedRow() != nullptr);
}

} // namespace quaylet
