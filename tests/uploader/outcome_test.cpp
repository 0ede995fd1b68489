#include "uploader/outcomejson.h"
#include "uploader/resultwriter.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace quaylet;

TEST(OutcomeJsonTest, NamesOfAnyBytesMakeValidJsonStrings)
{
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"album/a b.jpg", R"("album/a b.jpg")"},
        {"caf\xC3\xA9 \xF0\x9F\x93\xB7.jpg", "\"caf\xC3\xA9 \xF0\x9F\x93\xB7.jpg\""},
        {"say \"hi\"\\now", R"("say \"hi\"\\now")"},
        {"line\nbreak\x1B\x7F", R"("line\u000abreak\u001b)" "\x7F\""},
        {"caf\xE9 \xE2\x82.jpg", R"("caf\\xe9 \\xe2\\x82.jpg")"}, // Latin-1 and a cut-short sequence
    };
    for (const auto& c : cases)
        EXPECT_EQ(JsonStringLiteral(c.in), c.out);
}

TEST(OutcomeJsonTest, AFileNeverSentHasNoResult)
{
    FileOutcome sent{OutcomeKind::Skipped, 7, "a.jpg", -3, 5120, 1.25, {}};
    EXPECT_EQ(OutcomeJsonLine(sent), R"({"path":"a.jpg","outcome":"skipped","result":-3,"bytes_sent":5120,)"
                                     R"("seconds":1.250,"reason":"the service already holds this file"})");
    FileOutcome waiting{OutcomeKind::NotStarted, 8, "b.jpg", std::nullopt, 0, 0, {}};
    EXPECT_EQ(OutcomeJsonLine(waiting), R"({"path":"b.jpg","outcome":"not-started","result":null,"bytes_sent":0,)"
                                        R"("seconds":0.000,"reason":"not started"})");
}

// The summary counts the queued files and lists every file not uploaded,
// also an argument the run ended before searching.
TEST(RunSummaryTest, ListsEveryFileNotUploaded)
{
    const std::vector<FileOutcome> outcomes = {
        {OutcomeKind::Uploaded, 1, "a.jpg", 1, 10, 1, {}},
        {OutcomeKind::Skipped, 2, "b.jpg", -3, 10, 1, {}},
        {OutcomeKind::Failed, 3, "c\x1B.jpg", -6, 10, 1, {}},
        {OutcomeKind::Cancelled, 4, "d.jpg", 0, 3, 1, {}},
        {OutcomeKind::NotStarted, 5, "e.jpg", std::nullopt, 0, 0, {}},
        {OutcomeKind::Skipped, 0, "notes.txt", std::nullopt, 0, 0, "not a photo or video (.TXT)"},
        {OutcomeKind::NotStarted, 0, "later", std::nullopt, 0, 0, "not searched"},
    };
    EXPECT_EQ(RunSummary(outcomes), "\n1 of 5 files uploaded, 1 skipped\n"
                                    "  c\\x1b.jpg: not uploaded: the account's photo limit is reached\n"
                                    "  d.jpg: not uploaded: cancelled\n"
                                    "  e.jpg: not uploaded: not started\n"
                                    "  later: not uploaded: not searched\n");
    EXPECT_FALSE(EveryFileUploadedOrSkipped(outcomes));
    EXPECT_TRUE(EveryFileUploadedOrSkipped({outcomes[0], outcomes[1], outcomes[5]}));
}

TEST(ResultWriterTest, AFailedWriteIsKeptAndSignalled)
{
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    ResultWriter writer(full, ResultForm::Lines);
    EXPECT_FALSE(writer.write({OutcomeKind::Uploaded, 1, "a.jpg", 1, 10, 1, {}}));
    EXPECT_TRUE(writer.failed());
    EXPECT_EQ(writer.error(), ENOSPC);
    EXPECT_TRUE(writer.failure().wait(std::chrono::milliseconds(0)));
    EXPECT_FALSE(writer.writeText("summary\n"));
    std::fclose(full);
}
