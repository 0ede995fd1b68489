// The upload history as the drop window keeps it: filled from the queue store
// while a batch runs against the development service, and "Retry Failed"
// sending a failed file again.

#include "mainwindowfixture.h"

#include "dialogs/uploadhistorywnd.h"
#include "engine/transferengine.h"
#include "support/recordingrevealer.h"
#include "support/sandbox.h"
#include "window/mainwindowview.h"
#include "window/menucommands.h"

#include <QPushButton>
#include <QTableView>

#include <gtest/gtest.h>

#include <filesystem>

namespace quaylet::test {
namespace {

// The file's line in the history: its state and reason; empty when not listed.
struct Listed {
    QString state;
    QString reason;
    int line = -1;
};

Listed Find(CUploadHistoryWnd& history, const std::string& path)
{
    UploadHistoryModel& model = history.model();
    for (int line = 0; line < model.rowCount(); ++line) {
        if (model.rowAt(line)->path == path)
            return {model.index(line, UploadHistoryModel::State).data().toString(),
                    model.index(line, UploadHistoryModel::Reason).data().toString(), line};
    }
    return {};
}

TEST(MainWindowHistory, ABatchWithAFailureIsListedLiveAndRetryFailedSendsItAgain)
{
    // A slow link: the last photo is deleted while the first is still on its way.
    MainWindowFixture fixture(ServiceAccount {}, {"rate=50000@Media.upload"});
    fixture.StoreCredentials();
    std::vector<std::string> revealed;
    MainWindowSeams seams;
    seams.makeRevealer = [&] { return std::make_unique<RecordingRevealer>(revealed); };
    auto window = fixture.MakeWindow(std::move(seams));
    ASSERT_TRUE(window->StartUp());

    window->OnCommand(MenuCommand::kUploadHistory);
    CUploadHistoryWnd* history = window->historyWindow();
    ASSERT_NE(history, nullptr);
    EXPECT_TRUE(history->isVisible());
    EXPECT_FALSE(history->isModal());
    // Asked again, the same window comes forward.
    window->OnCommand(MenuCommand::kUploadHistory);
    EXPECT_EQ(window->historyWindow(), history);

    std::vector<std::string> photos;
    for (int i = 0; i < 3; ++i) {
        photos.push_back(SandboxPath("batch/photo" + std::to_string(i) + ".jpg"));
        WritePhoto(photos.back(), 700 + i);
    }
    // Live: the first photo is seen on its way; two more come meanwhile, and
    // the last of them is deleted before its turn.
    window->DropUriList(UriList({photos[0]}));
    ASSERT_TRUE(WaitUntil([&] { return Find(*history, photos[0]).state == QStringLiteral("Uploading"); }));
    window->DropUriList(UriList({photos[1], photos[2]}));
    std::filesystem::remove(photos[2]);
    const auto done = [&] {
        return window->engine()->queue().count() == 0 && window->view()->state() != kStateUploading &&
               Find(*history, photos[0]).state == QStringLiteral("Uploaded") &&
               Find(*history, photos[1]).state == QStringLiteral("Uploaded") &&
               Find(*history, photos[2]).state == QStringLiteral("Failed");
    };
    ASSERT_TRUE(WaitUntil(done)) << Find(*history, photos[0]).state.toStdString() << " "
                                 << Find(*history, photos[1]).state.toStdString() << " "
                                 << Find(*history, photos[2]).state.toStdString() << " queued "
                                 << window->engine()->queue().count() << " rows " << history->model().rowCount();
    EXPECT_EQ(Find(*history, photos[2]).reason, QStringLiteral("it could not be sent (network or file error)"));
    EXPECT_EQ(Find(*history, photos[2]).line, 0) << "newest first";
    EXPECT_EQ(history->model().rowCount(), 3);
    EXPECT_EQ(fixture.StoredUploads(), 2);
    EXPECT_TRUE(history->retryButton().isEnabled());

    // The photo is back; "Retry Failed" sends it as a drop would, under its old row.
    WritePhoto(photos[2], 702);
    history->retryButton().click();
    ASSERT_TRUE(WaitUntil([&] {
        return Find(*history, photos[2]).state == QStringLiteral("Uploaded") &&
               window->engine()->queue().count() == 0;
    })) << fixture.Log();
    EXPECT_EQ(fixture.StoredUploads(), 3);
    EXPECT_EQ(history->model().rowCount(), 3);
    EXPECT_FALSE(history->retryButton().isEnabled());

    // Open Folder shows the selected row's file.
    history->table().selectRow(Find(*history, photos[1]).line);
    history->openSelectedFolder();
    EXPECT_EQ(revealed, std::vector<std::string> {photos[1]});
}

} // namespace
} // namespace quaylet::test
