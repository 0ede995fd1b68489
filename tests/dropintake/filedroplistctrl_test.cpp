#include "core/logfile.h"
#include "dropintake/filedroplistctrl.h"
#include "platform/utf8.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>

using namespace quaylet;
using quaylet::test::PathExists;
using quaylet::test::ReadFile;
using quaylet::test::SandboxPath;
using quaylet::test::WriteFile;
namespace fs = std::filesystem;

namespace {

struct Call {
    std::string path;
    uint32_t type = 0;
    bool renamed = false;
};

class DropIntakeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OpenLog("Quaylet.log");
        fs::create_directories(root);
        intake = std::make_unique<CFileDropListCtrl>(journalDir);
        ASSERT_TRUE(intake->SetDropMode({kMainWindowDropMask, AcceptedExtensions(), callback()}));
    }

    DropCallback callback()
    {
        return [this](CFileDropListCtrl&, const std::string& path, uint32_t& type, bool renamed) {
            calls.push_back({path, type, renamed});
            return resultFor(path);
        };
    }

    std::vector<std::string> queued() const
    {
        std::vector<std::string> out;
        for (const auto& c : calls)
            out.push_back(c.path);
        return out;
    }

    static std::string log() { return ReadFile(SandboxPath("work/Quaylet.log")); }

    const std::string root = SandboxPath("drop");
    const std::string journalDir = SandboxPath("state/quaylet/renames");
    std::function<int(const std::string&)> resultFor = [](const std::string&) { return 0; };
    std::vector<Call> calls;
    std::unique_ptr<CFileDropListCtrl> intake;
};

} // namespace

TEST_F(DropIntakeTest, FilesAreFilteredByExtensionAndKeepTheirRealNames)
{
    for (const char* name : {"a.jpg", "a.JPG", "b.Png", "clip.avi", "noext", "notes.txt", "proj.mswmm"})
        WriteFile(root + "/" + name, "x");
    std::vector<std::string> dropped;
    for (const char* name :
         {"a.jpg", "a.JPG", "b.Png", "clip.avi", "noext", "notes.txt", "proj.mswmm", "gone.jpg"})
        dropped.push_back(root + "/" + name);
    intake->OnDropFiles(dropped);

    const std::vector<std::string> expected{root + "/a.jpg", root + "/a.JPG", root + "/b.Png",
                                            root + "/clip.avi", root + "/proj.mswmm"};
    EXPECT_EQ(queued(), expected);
    for (const auto& c : calls) {
        EXPECT_EQ(c.type, PathTypeFile);
        EXPECT_FALSE(c.renamed);
    }
    const std::string text = log();
    EXPECT_NE(text.find("CFileDropListCtrl: extension  not supported"), std::string::npos);
    EXPECT_NE(text.find("CFileDropListCtrl: extension .TXT not supported"), std::string::npos);
    EXPECT_EQ(intake->renameTable().size(), 0u);
}

TEST_F(DropIntakeTest, FoldersAreSearchedDepthFirstFollowingLinksAndEndingCycles)
{
    WriteFile(root + "/top/1.jpg", "x");
    WriteFile(root + "/top/.hidden.jpg", "x");
    WriteFile(root + "/top/readme.txt", "x");
    WriteFile(root + "/top/sub/2.jpg", "x");
    WriteFile(root + "/top/sub/deeper/3.gif", "x");
    WriteFile(root + "/elsewhere/linked.jpg", "x");
    WriteFile(root + "/elsewhere/dir/4.jpg", "x");
    fs::create_symlink(root + "/elsewhere/linked.jpg", root + "/top/link.jpg");
    fs::create_directory_symlink(root + "/elsewhere/dir", root + "/top/sub/dirlink");
    fs::create_directory_symlink(root + "/top", root + "/top/sub/deeper/loop"); // back to an ancestor
    fs::create_symlink(root + "/nowhere.jpg", root + "/top/dangling.jpg");
    fs::create_symlink(root + "/top/self", root + "/top/self"); // a link to itself
    WriteFile(root + "/top/pics.desktop",
              "[Desktop Entry]\nType=Link\nName=More\nURL=file://" + root + "/elsewhere/desk%20top.png\n");
    WriteFile(root + "/elsewhere/desk top.png", "x");

    intake->OnDropFiles({root + "/top/"});

    std::vector<std::string> got = queued();
    std::vector<std::string> expected{root + "/top/1.jpg",
                                      root + "/top/.hidden.jpg",
                                      root + "/top/sub/2.jpg",
                                      root + "/top/sub/deeper/3.gif",
                                      root + "/elsewhere/linked.jpg",
                                      root + "/elsewhere/dir/4.jpg",
                                      root + "/elsewhere/desk top.png"};
    std::vector<std::string> sortedGot = got;
    std::sort(sortedGot.begin(), sortedGot.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sortedGot, expected);

    // Depth first: everything below "sub" comes in one run.
    const auto isBelowSub = [&](const std::string& p) {
        return p.starts_with(root + "/top/sub/") || p == root + "/elsewhere/dir/4.jpg";
    };
    const auto first = std::find_if(got.begin(), got.end(), isBelowSub);
    const auto last = std::find_if(got.rbegin(), got.rend(), isBelowSub).base();
    EXPECT_EQ(std::count_if(first, last, isBelowSub), 3);
}

TEST_F(DropIntakeTest, ModeNeedsACallbackWhenItAsksForOne)
{
    EXPECT_FALSE(intake->SetDropMode({DropUseCallback, {}, {}}));
    WriteFile(root + "/kept.jpg", "x");
    intake->OnDropFiles({root + "/kept.jpg"});
    EXPECT_EQ(queued(), std::vector<std::string>{root + "/kept.jpg"}); // the old mode still holds

    // Without the filter every regular file passes; without folders a folder is ignored.
    ASSERT_TRUE(intake->SetDropMode({DropAcceptFiles | DropUseCallback, {}, callback()}));
    calls.clear();
    WriteFile(root + "/dir/inner.jpg", "x");
    WriteFile(root + "/any.xyz", "x");
    intake->OnDropFiles({root + "/any.xyz", root + "/dir"});
    EXPECT_EQ(queued(), std::vector<std::string>{root + "/any.xyz"});
}

TEST_F(DropIntakeTest, NonUtf8NameWaitsUnderATempNameAndGetsItBack)
{
    const std::string original = root + "/\xE9t\xE9.jpg";
    WriteFile(original, "photo");
    WriteFile(root + "/TempFile_1.jpg", "other");
    WriteFile(root + "/TempFile_2.jpg", "other");

    intake->OnDropFiles({original});

    ASSERT_EQ(calls.size(), 1u);
    const std::string temp = root + "/TempFile_3.jpg";
    EXPECT_EQ(calls[0].path, temp);
    EXPECT_TRUE(calls[0].renamed);
    EXPECT_FALSE(PathExists(original));
    EXPECT_EQ(ReadFile(temp), "photo");
    EXPECT_EQ(intake->renameTable().originalOf(temp), original);
    EXPECT_EQ(intake->UserPath(temp), original);
    EXPECT_EQ(intake->UserPath(root + "/TempFile_1.jpg"), root + "/TempFile_1.jpg");

    intake->QueuedRowRemoved(temp, true);
    EXPECT_EQ(ReadFile(original), "photo");
    EXPECT_FALSE(PathExists(temp));
    EXPECT_EQ(intake->renameTable().size(), 0u);
    EXPECT_EQ(intake->UserPath(temp), temp);
}

TEST_F(DropIntakeTest, RenamedFilesThatAreNotQueuedAreRenamedBackAtOnce)
{
    const std::string rejected = root + "/\xFFnotes.txt";
    const std::string refused = root + "/\xFFproject.mswmm";
    WriteFile(rejected, "t");
    WriteFile(refused, "p");
    resultFor = [](const std::string&) { return 1; };

    intake->OnDropFiles({rejected, refused});

    ASSERT_EQ(calls.size(), 1u); // the project file reached the callback, which turned it down
    EXPECT_TRUE(calls[0].renamed);
    EXPECT_EQ(ReadFile(rejected), "t");
    EXPECT_EQ(ReadFile(refused), "p");
    EXPECT_FALSE(PathExists(root + "/TempFile_1.txt"));
    EXPECT_FALSE(PathExists(root + "/TempFile_1.mswmm"));
    EXPECT_NE(log().find("CFileDropListCtrl: extension .TXT not supported"), std::string::npos);
}

TEST_F(DropIntakeTest, RenameBackNeverReplacesAFileThatTookTheNameMeanwhile)
{
    const std::string original = root + "/\xFF.jpg";
    WriteFile(original, "dropped");
    intake->OnDropFiles({original});
    ASSERT_EQ(calls.size(), 1u);
    const std::string temp = calls[0].path;

    WriteFile(original, "newcomer");
    intake->QueuedRowRemoved(temp, true);

    EXPECT_EQ(ReadFile(original), "newcomer");
    EXPECT_EQ(ReadFile(temp), "dropped");
    EXPECT_NE(log().find("Error rename file back: " + original + " from " + temp), std::string::npos);
    EXPECT_EQ(intake->renameTable().size(), 0u);
}

TEST_F(DropIntakeTest, NamesThatCannotBeMendedOrReachedAreSkipped)
{
    // A non-UTF-8 folder part: renaming the file alone would not help.
    WriteFile(root + "/\xFE"
                     "dir/\xFF.jpg",
              "x");

    intake->OnDropFiles({root + "/\xFE"
                                "dir/\xFF.jpg"});

    EXPECT_TRUE(queued().empty());
    EXPECT_TRUE(PathExists(root + "/\xFE"
                                  "dir/\xFF.jpg"));
    EXPECT_EQ(intake->renameTable().size(), 0u);
    EXPECT_EQ(intake->RenameFailure(root + "/\xFE"
                                           "dir/\xFF.jpg"),
              "the name of a folder above it is not valid UTF-8");
}

// Inside a dropped folder names are bytes as well: a file or folder whose
// name is not UTF-8 waits under a temporary name, as when dropped itself, and
// an inner folder gets its name back before the one around it.
TEST_F(DropIntakeTest, NonUtf8NamesInsideADroppedFolderAreQueuedAndGetTheirNamesBack)
{
    const std::string album = root + "/album";
    WriteFile(album + "/caf\xE9.jpg", "cafe");
    WriteFile(album + "/\xFE"
                      "inner/\xFF.jpg",
              "inner");
    WriteFile(album + "/plain.jpg", "plain");

    intake->OnDropFiles({album});

    ASSERT_EQ(calls.size(), 3u);
    std::map<std::string, std::string> userPaths; // as the user named each, to its queued path
    for (const auto& c : calls) {
        EXPECT_TRUE(platform::IsValidUtf8(c.path)) << c.path;
        userPaths[intake->UserPath(c.path)] = c.path;
    }
    const std::string cafe = album + "/caf\xE9.jpg";
    const std::string inner = album + "/\xFE"
                                      "inner";
    ASSERT_EQ(userPaths.size(), 3u);
    ASSERT_TRUE(userPaths.count(cafe) && userPaths.count(inner + "/\xFF.jpg") && userPaths.count(album + "/plain.jpg"));
    EXPECT_EQ(ReadFile(userPaths[cafe]), "cafe");
    EXPECT_EQ(ReadFile(userPaths[inner + "/\xFF.jpg"]), "inner");
    EXPECT_FALSE(PathExists(cafe));
    EXPECT_FALSE(PathExists(inner));

    for (const auto& c : calls)
        intake->QueuedRowRemoved(c.path, c.renamed);
    EXPECT_EQ(ReadFile(cafe), "cafe");
    EXPECT_EQ(ReadFile(inner + "/\xFF.jpg"), "inner");
    EXPECT_EQ(intake->renameTable().size(), 0u);
    for (const auto& entry : fs::directory_iterator(album))
        EXPECT_FALSE(entry.path().filename().string().starts_with("TempFile_")) << entry.path();
}

TEST_F(DropIntakeTest, RenamedFolderGetsItsNameBackWhenItsLastFileLeavesTheQueue)
{
    const std::string folder = root + "/\xFF"
                                      "album";
    WriteFile(folder + "/1.jpg", "1");
    WriteFile(folder + "/2.jpg", "2");
    const std::string empty = root + "/\xFE"
                                     "empty";
    fs::create_directories(empty);

    intake->OnDropFiles({folder, empty});

    // The empty folder queued nothing and has its name back already.
    EXPECT_TRUE(PathExists(empty));
    ASSERT_EQ(calls.size(), 2u);
    const std::string temp = root + "/TempFile_1";
    for (const auto& c : calls) {
        EXPECT_TRUE(c.path.starts_with(temp + "/")) << c.path;
        EXPECT_FALSE(c.renamed);
    }
    EXPECT_FALSE(PathExists(folder));
    for (const auto& c : calls)
        EXPECT_EQ(intake->UserPath(c.path), folder + c.path.substr(temp.size()));
    EXPECT_EQ(intake->UserPath(temp + "-other/1.jpg"), temp + "-other/1.jpg");

    intake->QueuedRowRemoved(calls[0].path, false);
    EXPECT_FALSE(PathExists(folder)); // one file still waits
    intake->QueuedRowRemoved(calls[1].path, false);
    EXPECT_EQ(ReadFile(folder + "/1.jpg"), "1");
    EXPECT_FALSE(PathExists(temp));
}

TEST_F(DropIntakeTest, EverythingStillRenamedGetsItsNameBackWhenTheIntakeEnds)
{
    const std::string file = root + "/\xFF.png";
    const std::string folder = root + "/\xFF"
                                      "dir";
    WriteFile(file, "f");
    WriteFile(folder + "/in.jpg", "i");
    intake->OnDropFiles({file, folder});
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_FALSE(PathExists(file));
    EXPECT_FALSE(PathExists(folder));
    const std::string journal = intake->renameTable().journalPath();
    EXPECT_TRUE(PathExists(journal));

    intake.reset();

    EXPECT_EQ(ReadFile(file), "f");
    EXPECT_EQ(ReadFile(folder + "/in.jpg"), "i");
    EXPECT_FALSE(PathExists(journal));
}

TEST_F(DropIntakeTest, UriListDropCarriesExactBytes)
{
    WriteFile(root + "/\xFF name.jpg", "x");
    WriteFile(root + "/plain name.jpg", "y");
    std::string list = "file://" + root + "/%FF%20name.jpg\r\nfile://" + root + "/plain%20name.jpg\r\n";
    // The sandbox path itself is plain ASCII apart from characters URIs allow.
    intake->OnDropUriList(list);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls[0].renamed);
    EXPECT_EQ(calls[1].path, root + "/plain name.jpg");
}

TEST(DropIntakeJournalTest, NoRenameHappensWhenTheJournalCannotBeWritten)
{
    OpenLog("Quaylet.log");
    WriteFile(SandboxPath("blocker"), "a file where the journal folder should be");
    const std::string original = SandboxPath("drop/\xFF.jpg");
    WriteFile(original, "photo");
    std::vector<std::string> seen;
    CFileDropListCtrl intake(SandboxPath("blocker/renames"));
    ASSERT_TRUE(intake.SetDropMode({kMainWindowDropMask, AcceptedExtensions(),
                                    [&](CFileDropListCtrl&, const std::string& path, uint32_t&, bool) {
                                        seen.push_back(path);
                                        return 0;
                                    }}));
    intake.OnDropFiles({original});
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(ReadFile(original), "photo");
    EXPECT_NE(ReadFile(SandboxPath("work/Quaylet.log")).find("cannot write the rename journal"),
              std::string::npos);
    EXPECT_NE(intake.RenameFailure(original).find("the journal that would give the name back after a crash cannot be written"),
              std::string::npos)
        << intake.RenameFailure(original);
}

TEST_F(DropIntakeTest, AFolderDeletedWhileItIsSearchedEndsTheSearchQuietly)
{
    for (const char* name : {"a/1.jpg", "a/2.jpg", "a/3.jpg", "b/4.jpg", "b/5.jpg"})
        WriteFile(root + "/tree/" + name, "x");
    // The first file queued takes the whole tree away.
    resultFor = [this](const std::string&) {
        std::error_code ec;
        fs::remove_all(root + "/tree", ec);
        return 0;
    };
    intake->OnDropFiles({root + "/tree", root + "/tree"});
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(DropIntakeTest, VeryDeepFoldersEndTheSearchAtTheDepthLimit)
{
    std::string deep = root + "/deep";
    for (int level = 0; level < CFileDropListCtrl::kMaxFolderDepth + 20; ++level) {
        deep += "/d";
        if (level == 10 || level == CFileDropListCtrl::kMaxFolderDepth + 10)
            WriteFile(deep + "/at" + std::to_string(level) + ".jpg", "x");
    }
    fs::create_directories(deep);
    intake->OnDropFiles({root + "/deep"});
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].path.ends_with("/at10.jpg"));
    EXPECT_NE(log().find("CFileDropListCtrl: folder nested too deeply, not searched: "), std::string::npos);
}

// A dropped folder holding a link to the root of the file system would be
// searched for a very long time: the search ends as soon as a stop is raised.
TEST_F(DropIntakeTest, ASearchThroughALinkToTheRootEndsWhenAStopIsRaised)
{
    WriteFile(root + "/album/a.jpg", "x");
    fs::create_directory_symlink("/", root + "/album/everything");
    WriteFile(root + "/later/b.jpg", "x");
    constexpr int kRaiseAt = 400;
    int consulted = 0;
    std::size_t queuedWhenRaised = 0;
    intake->SetStopCheck([&] {
        if (++consulted == kRaiseAt)
            queuedWhenRaised = calls.size();
        return consulted >= kRaiseAt;
    });

    intake->OnDropFiles({root + "/album", root + "/later"});

    ASSERT_GE(consulted, kRaiseAt) << "the search never got far enough to be stopped";
    EXPECT_EQ(calls.size(), queuedWhenRaised) << "nothing is queued after the stop";
    // Only the folders being searched look once more on their way out.
    EXPECT_LT(consulted - kRaiseAt, 64);
    const std::vector<std::string> got = queued();
    EXPECT_EQ(std::count(got.begin(), got.end(), root + "/later/b.jpg"), 0);

    // The next drop starts afresh once the stop is lowered.
    intake->SetStopCheck({});
    calls.clear();
    intake->OnDropFiles({root + "/later"});
    EXPECT_EQ(queued(), std::vector<std::string>{root + "/later/b.jpg"});
}
