#pragma once

// When the weekly update check is due. "UpdateCheckTime" in the settings holds
// the local date and time of the last check that was due, to the second, as
// "2026-12-09T21:11:23"; the United States form "12/8/2014 9:11:23 PM" is read
// too, and any other text counts as a time far in the past. A check is
// due when the stored time lies 7 or more whole days away from now, in either
// direction: a clock set back must not hold the check off for good.
//
// Times are compared as calendar dates and times of day, the way the local
// clock shows them, so a change to or from daylight saving time moves nothing.

#include <QDateTime>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quaylet {

inline constexpr const char* kUpdateCheckTimeSetting = "UpdateCheckTime";

// The local date and time now; tests pass their own.
using LocalClock = std::function<QDateTime()>;
QDateTime SystemLocalNow();

// Days since 30 December 1899, with the time of day as the fraction.
double CalendarDays(const QDate& date, const QTime& time);

// The stored form of a local date and time (seconds are truncated).
std::string UpdateCheckTimeText(const QDateTime& local);

// The text in CalendarDays; nothing when it is neither of the two forms or
// names no real date and time.
std::optional<double> ParseUpdateCheckTime(std::string_view text);

// The rule on a stored text; an empty one means that no check was made yet.
bool UpdateCheckDue(const std::string& stored, const QDateTime& now);

// The rule and the record on the settings store, with the given clock.
class UpdateCheckSchedule final {
public:
    // An empty clock is the system's.
    explicit UpdateCheckSchedule(LocalClock clock = {});

    bool due() const;
    // Writes the time now as the time of the last check.
    void record() const;

private:
    QDateTime now() const;

    LocalClock m_clock;
};

} // namespace quaylet
