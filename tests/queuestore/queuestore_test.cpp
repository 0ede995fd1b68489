// The queue store on real database files: rows of processes that are gone
// are taken up again, never rows of a running process or of another account,
// and a damaged or unwritable file never stops the caller.

#include "queuestore/queuestore.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quaylet;

namespace {

constexpr int64_t kNow = 1'800'000'000;

std::string storePath()
{
    return test::SandboxPath("state/quaylet/queue.db");
}

StoredRow photo(const std::string& path, const std::string& account, int64_t queuedAt = kNow)
{
    StoredRow row;
    row.path = path;
    row.account = account;
    row.size = 1000;
    row.queuedAt = queuedAt;
    return row;
}

// Runs body in a child process that then ends: the rows it leaves open
// belong to a process that is gone.
void inGoneProcess(const std::function<void(QueueStore&)>& body)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        QueueStore store(storePath());
        if (store.open(kNow) != QueueStore::OpenResult::Opened)
            ::_exit(1);
        body(store);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

std::vector<std::string> pathsOf(const std::vector<StoredRow>& rows)
{
    std::vector<std::string> paths;
    for (const auto& row : rows)
        paths.push_back(row.path);
    return paths;
}

} // namespace

TEST(QueueStoreTest, TakesTheOpenRowsOfAGoneProcessOfTheSameAccountInOrder)
{
    inGoneProcess([](QueueStore& store) {
        const auto a = store.add(photo("/p/a.jpg", "alice@site"));
        const auto b = store.add(photo("/p/b.jpg", "alice@site"));
        const auto c = store.add(photo("/p/c.jpg", "alice@site"));
        const auto d = store.add(photo("/p/d.jpg", "alice@site"));
        store.add(photo("/p/bob.jpg", "bob@site"));
        store.setOpenState(*b, StoredState::Preparing);
        store.setOpenState(*c, StoredState::Uploading);
        store.finish(*a, StoredState::Uploaded, 1, 1000, kNow);
        store.finish(*d, StoredState::Cancelled, 0, 0, kNow);
    });

    QueueStore store(storePath());
    ASSERT_EQ(store.open(kNow), QueueStore::OpenResult::Opened);
    const std::vector<StoredState> open {StoredState::Queued, StoredState::Preparing, StoredState::Uploading};
    const auto taken = store.take("alice@site", open);
    EXPECT_EQ(pathsOf(taken), (std::vector<std::string> {"/p/b.jpg", "/p/c.jpg"}));
    for (const auto& row : taken)
        EXPECT_EQ(row.state, StoredState::Queued);
    // Now they are this running process's: not taken again.
    EXPECT_TRUE(store.take("alice@site", open).empty());
    // The uploading row was counted as one attempt.
    EXPECT_EQ(taken[1].attempts, 1);

    const auto history = store.recent("alice@site", 10);
    ASSERT_EQ(history.size(), 4u);
    EXPECT_EQ(history.front().path, "/p/d.jpg");
    EXPECT_EQ(history.back().state, StoredState::Uploaded);
    EXPECT_EQ(history.back().bytesSent, 1000);
    EXPECT_EQ(store.recent("", 10).size(), 5u);

    // Bob's row waits for Bob.
    EXPECT_EQ(pathsOf(store.take("bob@site", open)), std::vector<std::string> {"/p/bob.jpg"});
}

TEST(QueueStoreTest, TwoRunningProcessesNeverTakeTheSameRow)
{
    constexpr int kRows = 60;
    inGoneProcess([](QueueStore& store) {
        for (int i = 0; i < kRows; ++i)
            store.add(photo("/p/" + std::to_string(i) + ".jpg", "alice@site"));
    });

    // Each taker reports what it took through a pipe and stays alive until
    // all have taken, so that the others see its rows owned by a running process.
    constexpr int kTakers = 4;
    int release[2];
    ASSERT_EQ(::pipe(release), 0);
    std::vector<std::pair<pid_t, int>> takers;
    for (int t = 0; t < kTakers; ++t) {
        int report[2];
        ASSERT_EQ(::pipe(report), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(report[0]);
            ::close(release[1]);
            QueueStore store(storePath());
            store.open(kNow);
            std::string ids;
            for (const auto& row : store.take("alice@site", {StoredState::Queued}))
                ids += std::to_string(row.id) + "\n";
            (void)!::write(report[1], ids.data(), ids.size());
            ::close(report[1]);
            char byte;
            (void)!::read(release[0], &byte, 1);
            ::_exit(0);
        }
        ::close(report[1]);
        takers.emplace_back(child, report[0]);
    }
    ::close(release[0]);

    std::multiset<int64_t> all;
    for (const auto& [pid, fd] : takers) {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<std::size_t>(n));
        ::close(fd);
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            all.insert(std::stoll(text.substr(start, end - start)));
    }
    ::close(release[1]);
    for (const auto& [pid, fd] : takers)
        ::waitpid(pid, nullptr, 0);

    EXPECT_EQ(all.size(), static_cast<std::size_t>(kRows));
    EXPECT_EQ(std::set<int64_t>(all.begin(), all.end()).size(), all.size()) << "a row was taken twice";
}

TEST(QueueStoreTest, PrunesOldRowsAndRowsBeyondTheNewestAtOpen)
{
    {
        QueueStore store(storePath());
        ASSERT_EQ(store.open(kNow), QueueStore::OpenResult::Opened);
        const auto old = store.add(photo("/p/old.jpg", "a", kNow - 91 * 86400));
        store.finish(*old, StoredState::Uploaded, 1, 1, kNow);
        for (int i = 0; i < 5; ++i) {
            const auto id = store.add(photo("/p/" + std::to_string(i) + ".jpg", "a"));
            if (i != 1)
                store.finish(*id, StoredState::Failed, -8, 0, kNow);
        }
    }
    QueueStore store(storePath());
    ASSERT_EQ(store.open(kNow, {90 * 86400, 3}), QueueStore::OpenResult::Opened);
    // The three newest stay; the open row 1 is kept too: it is not finished.
    EXPECT_EQ(pathsOf(store.recent("a", 10)),
              (std::vector<std::string> {"/p/4.jpg", "/p/3.jpg", "/p/2.jpg", "/p/1.jpg"}));
}

TEST(QueueStoreTest, KeepsItsFilePrivateInWalMode)
{
    QueueStore store(storePath());
    ASSERT_EQ(store.open(kNow), QueueStore::OpenResult::Opened);
    ASSERT_TRUE(store.add(photo("/p/a.jpg", "a")));
    struct stat st {};
    ASSERT_EQ(::stat(storePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(test::SandboxPath("state/quaylet").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((storePath() + "-wal").c_str(), &st), 0) << "not in WAL mode";
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(QueueStoreTest, ADamagedFileIsMovedAsideAndANewOneMade)
{
    test::WriteFile(storePath(), std::string(8192, 'x'));
    QueueStore store(storePath());
    ASSERT_EQ(store.open(kNow), QueueStore::OpenResult::Recreated);
    ASSERT_FALSE(store.movedAsideTo().empty());
    EXPECT_EQ(test::ReadFile(store.movedAsideTo()), std::string(8192, 'x'));
    ASSERT_TRUE(store.add(photo("/p/a.jpg", "a")));
    EXPECT_EQ(store.recent("a", 10).size(), 1u);
}

TEST(QueueStoreTest, AnUnwritableFolderTurnsTheStoreOff)
{
    test::WriteFile(test::SandboxPath("state/quaylet/keep"), "");
    const int status = test::RunUnprivileged([] {
        ::chmod(test::SandboxPath("state/quaylet").c_str(), 0500);
        QueueStore store(storePath());
        const bool off = store.open(kNow) == QueueStore::OpenResult::Unwritable && !store.writable();
        // Every call is a harmless no-op.
        return off && !store.add(photo("/p/a.jpg", "a")) && store.take("a", {StoredState::Queued}).empty() &&
               store.recent("a", 10).empty();
    });
    EXPECT_EQ(status, 0);
}
