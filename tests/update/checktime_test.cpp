#include "update/checktime.h"

#include "core/settings.h"

#include <gtest/gtest.h>

namespace quaylet {
namespace {

const QDateTime kNow(QDate(2026, 12, 9), QTime(21, 11, 23));

std::string Text(const QDateTime& local)
{
    return UpdateCheckTimeText(local);
}

TEST(UpdateCheckTimeTest, DueOnceSevenWholeDaysLieBetweenInEitherDirection)
{
    struct Case {
        std::string stored;
        bool due;
    };
    const Case cases[] = {
        {"", true}, // never checked
        {Text(kNow.addDays(-7).addSecs(3600)), false}, // 6 days 23 hours ago
        {Text(kNow.addDays(-7).addSecs(1)), false},
        {Text(kNow.addDays(-7)), true},
        {Text(kNow.addDays(-8)), true},
        {Text(kNow), false},
        {Text(kNow.addDays(6)), false},
        {Text(kNow.addDays(10)), true}, // the clock was set back
        // The United States form.
        {"12/3/2026 9:11:24 PM", false},
        {"12/2/2026 9:11:23 PM", true},
        {"12/3/2026", false}, // midnight: 6 days 21 hours ago
        {"12/2/2026 12:00:00 PM", true},
        {"12/2/2026 12:00:00 AM", true},
        // Unreadable: as if the last check were long ago.
        {"yesterday", true},
        {"2026-12-08", true},
        {"2026-02-30T10:00:00", true},
        {"09.12.2026 21:11:23", true},
        {Text(kNow) + "\n", true},
        {"12/9/2026 13:11:23 PM", true},
        {"\xff\xfe", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(UpdateCheckDue(c.stored, kNow), c.due);
    }
}

TEST(UpdateCheckTimeTest, TheTextIsLocalTimeToTheSecondAndReadsBackToTheSameValue)
{
    const QDateTime withMilliseconds(QDate(2026, 12, 9), QTime(21, 11, 23, 987));
    EXPECT_EQ(Text(withMilliseconds), "2026-12-09T21:11:23");
    EXPECT_EQ(ParseUpdateCheckTime("2026-12-09T21:11:23"), CalendarDays(kNow.date(), kNow.time()));
    EXPECT_EQ(ParseUpdateCheckTime("12/8/2014 9:11:23 PM"),
              CalendarDays(QDate(2014, 12, 8), QTime(21, 11, 23)));
    EXPECT_EQ(CalendarDays(QDate(1899, 12, 30), QTime(18, 0)), 0.75);
    // Milliseconds of the clock do not tip a check that is not yet due.
    EXPECT_FALSE(UpdateCheckDue(Text(kNow.addDays(-7).addSecs(1)), kNow.addMSecs(999)));
}

TEST(UpdateCheckTimeTest, TheScheduleReadsAndRecordsTheSettingWithItsClock)
{
    QDateTime now = kNow;
    const UpdateCheckSchedule schedule([&now] { return now; });
    EXPECT_TRUE(schedule.due());
    schedule.record();
    EXPECT_EQ(GetSettingString(kSettingsSection, "UpdateCheckTime", {}), "2026-12-09T21:11:23");
    now = kNow.addDays(7).addSecs(-1);
    EXPECT_FALSE(schedule.due());
    now = kNow.addDays(7);
    EXPECT_TRUE(schedule.due());
}

} // namespace
} // namespace quaylet
