#include "dialogs/uploadhistorywnd.h"
#include "skin/widgetevents.h"
#include "support/recordingrevealer.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <gtest/gtest.h>

namespace quaylet {
namespace {

StoredRow Row(int64_t id, std::string path, StoredState state, int result = 0)
{
    StoredRow row;
    row.id = id;
    row.path = std::move(path);
    row.size = 2048;
    row.state = state;
    row.result = result;
    row.queuedAt = 1'700'000'000 + id;
    row.finishedAt = IsOpenState(state) ? 0 : row.queuedAt + 60;
    return row;
}

QString Cell(const UploadHistoryModel& model, int line, int column, int role = Qt::DisplayRole)
{
    return model.data(model.index(line, column), role).toString();
}

TEST(UploadHistoryModelTest, EachStateShowsItsWordsIconAndReason)
{
    QLocale::setDefault(QLocale::c());
    const struct {
        StoredState state;
        int result;
        const char* text;
        const char* reason;
    } cases[] = {
        {StoredState::Uploaded, 1, "Uploaded", ""},
        // The service held it already: uploaded, and said why nothing was sent.
        {StoredState::Uploaded, -3, "Uploaded", "the service already holds this file"},
        {StoredState::Failed, -6, "Failed", "the account's photo limit is reached"},
        {StoredState::Failed, -8, "Failed", "it could not be sent (network or file error)"},
        {StoredState::Failed, -1, "Failed", "the service refused it or its reply was not understood"},
        {StoredState::Cancelled, 0, "Cancelled", ""},
        {StoredState::Queued, 0, "Queued", ""},
        {StoredState::Preparing, 0, "Preparing", ""},
        {StoredState::Uploading, 0, "Uploading", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + std::string(" ") + std::to_string(c.result));
        UploadHistoryModel model;
        model.setRows({Row(7, "/home/ann/Pictures/caf\xc3\xa9 1.jpg", c.state, c.result)});
        ASSERT_EQ(model.rowCount(), 1);
        EXPECT_EQ(Cell(model, 0, UploadHistoryModel::Name), QStringLiteral("caf\u00e9 1.jpg"));
        EXPECT_EQ(Cell(model, 0, UploadHistoryModel::Folder), QStringLiteral("/home/ann/Pictures"));
        EXPECT_EQ(Cell(model, 0, UploadHistoryModel::Size), QStringLiteral("2.0 kB"));
        EXPECT_EQ(Cell(model, 0, UploadHistoryModel::State), QString::fromLatin1(c.text));
        EXPECT_EQ(Cell(model, 0, UploadHistoryModel::Reason), QString::fromLatin1(c.reason));
        // A finished file at its end, an open one at its queueing.
        const int64_t at = IsOpenState(c.state) ? 1'700'000'007 : 1'700'000'067;
        EXPECT_EQ(Cell(model, 0, UploadHistoryModel::Time),
                  QDateTime::fromSecsSinceEpoch(at).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
        const QIcon icon = model.data(model.index(0, UploadHistoryModel::State), Qt::DecorationRole).value<QIcon>();
        EXPECT_FALSE(icon.pixmap(16, 16).isNull()) << "no icon for the state";
    }
    EXPECT_NE(HistoryStateIcon(StoredState::Uploaded).pixmap(16).toImage(),
              HistoryStateIcon(StoredState::Failed).pixmap(16).toImage());
}

TEST(UploadHistoryModelTest, TheFilterPicksStatesAndKeepsNewestFirst)
{
    UploadHistoryModel model;
    model.setRows({Row(6, "/p/f.jpg", StoredState::Uploading), Row(5, "/p/e.jpg", StoredState::Failed, -8),
                   Row(4, "/p/d.jpg", StoredState::Cancelled), Row(3, "/p/c.jpg", StoredState::Uploaded, -3),
                   Row(2, "/p/b.jpg", StoredState::Queued), Row(1, "/p/a.jpg", StoredState::Uploaded, 1)});
    const struct {
        HistoryFilter filter;
        const char* names;
    } cases[] = {
        {HistoryFilter::All, "f e d c b a"}, {HistoryFilter::Uploaded, "c a"}, {HistoryFilter::Failed, "e"},
        {HistoryFilter::Cancelled, "d"},     {HistoryFilter::Open, "f b"},
    };
    for (const auto& c : cases) {
        model.setFilter(c.filter);
        QStringList names;
        for (int line = 0; line < model.rowCount(); ++line)
            names << Cell(model, line, UploadHistoryModel::Name).chopped(4);
        EXPECT_EQ(names.join(QLatin1Char(' ')), QString::fromLatin1(c.names));
    }
    EXPECT_TRUE(model.anyFailed());
    model.setRows({Row(3, "/p/c.jpg", StoredState::Uploaded, -3), Row(1, "/p/a.jpg", StoredState::Uploaded, 1)});
    EXPECT_FALSE(model.anyFailed()) << "a file the service held is not failed";
}

TEST(UploadHistoryWindowTest, KeyboardAndScreenReaderFindTheirWay)
{
    std::vector<std::string> shown;
    CUploadHistoryWnd window(std::make_unique<test::RecordingRevealer>(shown));
    window.setRows({Row(2, "/p/b.jpg", StoredState::Failed, -8), Row(1, "/p/a.jpg", StoredState::Uploaded, 1)});
    window.show();
    window.activateWindow();
    ASSERT_TRUE(test::WaitUntil([&] { return window.isActiveWindow(); }));

    EXPECT_EQ(window.focusWidget(), &window.table()) << "the table has the focus first";
    for (QWidget* control : std::initializer_list<QWidget*> {&window.table(), &window.filter(), &window.retryButton(),
                                                             &window.openFolderButton()})
        EXPECT_FALSE(control->accessibleName().isEmpty()) << control->metaObject()->className();
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&window.table());
    ASSERT_NE(table, nullptr);
    ASSERT_NE(table->tableInterface(), nullptr);
    EXPECT_EQ(table->tableInterface()->columnDescription(UploadHistoryModel::State), QStringLiteral("State"));
    QAccessibleInterface* cell = table->tableInterface()->cellAt(0, UploadHistoryModel::Reason);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(QAccessible::Name), QStringLiteral("it could not be sent (network or file error)"));

    // Down to the second row; Enter shows its file. Open Folder waits for a row.
    EXPECT_FALSE(window.openFolderButton().isEnabled());
    test::Key(window.table(), Qt::Key_Down);
    test::Key(window.table(), Qt::Key_Down);
    test::Key(window.table(), Qt::Key_Return);
    EXPECT_EQ(shown, std::vector<std::string> {"/p/a.jpg"});
    EXPECT_TRUE(window.openFolderButton().isEnabled());

    // The rows change under it (a new file, the failed one uploaded): the
    // selected file stays selected, and nothing is left to retry.
    window.setRows({Row(3, "/p/c.jpg", StoredState::Uploading), Row(2, "/p/b.jpg", StoredState::Uploaded, 1),
                    Row(1, "/p/a.jpg", StoredState::Uploaded, 1)});
    window.openSelectedFolder();
    EXPECT_EQ(shown.back(), "/p/a.jpg");
    EXPECT_FALSE(window.retryButton().isEnabled());

    // Nor does a change move the table away from where the user scrolled to.
    std::vector<StoredRow> many;
    for (int64_t id = 300; id > 0; --id)
        many.push_back(Row(id, "/p/" + std::to_string(id) + ".jpg", StoredState::Uploaded, 1));
    window.setRows(many);
    window.table().verticalScrollBar()->setValue(120);
    window.setRows(many);
    EXPECT_EQ(window.table().verticalScrollBar()->value(), 120);

    // "Retry Failed" asks its owner; Escape closes the window.
    window.setRows({Row(2, "/p/b.jpg", StoredState::Failed, -8)});
    int retried = 0;
    QObject::connect(&window, &CUploadHistoryWnd::retryFailedRequested, [&] { ++retried; });
    window.retryButton().click();
    EXPECT_EQ(retried, 1);
    test::Key(window.table(), Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}

} // namespace
} // namespace quaylet
