#include "update/checktime.h"

#include "core/settings.h"

#include <QRegularExpression>
#include <QString>

#include <cmath>

namespace quaylet {

namespace {

// The first day of the calendar count, day 0.
const QDate kDayZero(1899, 12, 30);

// Half a second in days: the difference is rounded to whole days with it.
constexpr double kHalfSecond = 5.787037037037037e-6;
constexpr double kDueAfterDays = 7;

std::optional<double> Days(int year, int month, int day, int hour, int minute, int second)
{
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return CalendarDays(date, time);
}

std::optional<double> ParseIso(const QString& text)
{
    static const QRegularExpression form(QRegularExpression::anchoredPattern(
        QStringLiteral("([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})")));
    const auto m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    auto part = [&m](int i) { return m.capturedView(i).toInt(); };
    return Days(part(1), part(2), part(3), part(4), part(5), part(6));
}

// Month/day/year; at midnight the time is left out.
std::optional<double> ParseUnitedStates(const QString& text)
{
    static const QRegularExpression form(QRegularExpression::anchoredPattern(
        QStringLiteral("([0-9]{1,2})/([0-9]{1,2})/([0-9]{4})(?: ([0-9]{1,2}):([0-9]{2}):([0-9]{2}) ([AP]M))?")));
    const auto m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    auto part = [&m](int i) { return m.capturedView(i).toInt(); };
    int hour = 0;
    if (m.hasCaptured(4)) {
        hour = part(4);
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour %= 12;
        if (m.capturedView(7) == QLatin1String("PM"))
            hour += 12;
    }
    return Days(part(3), part(1), part(2), hour, m.hasCaptured(5) ? part(5) : 0, m.hasCaptured(6) ? part(6) : 0);
}

} // namespace

QDateTime SystemLocalNow()
{
    return QDateTime::currentDateTime();
}

double CalendarDays(const QDate& date, const QTime& time)
{
    return static_cast<double>(kDayZero.daysTo(date)) + time.msecsSinceStartOfDay() / 86400000.0;
}

std::string UpdateCheckTimeText(const QDateTime& local)
{
    return local.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")).toStdString();
}

std::optional<double> ParseUpdateCheckTime(std::string_view text)
{
    const QString qtext = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (auto days = ParseIso(qtext))
        return days;
    return ParseUnitedStates(qtext);
}

bool UpdateCheckDue(const std::string& stored, const QDateTime& now)
{
    if (stored.empty())
        return true;
    // Whole seconds, as the stored time has them.
    const QTime clock = now.time();
    const double today = CalendarDays(now.date(), QTime(clock.hour(), clock.minute(), clock.second()));
    const double difference = today - ParseUpdateCheckTime(stored).value_or(0.0);
    const double wholeDays = std::trunc(difference + std::copysign(kHalfSecond, difference));
    return std::fabs(wholeDays) >= kDueAfterDays;
}

UpdateCheckSchedule::UpdateCheckSchedule(LocalClock clock)
    : m_clock(std::move(clock))
{
}

QDateTime UpdateCheckSchedule::now() const
{
    return m_clock ? m_clock() : SystemLocalNow();
}

bool UpdateCheckSchedule::due() const
{
    return UpdateCheckDue(GetSettingString(kSettingsSection, kUpdateCheckTimeSetting, {}), now());
}

void UpdateCheckSchedule::record() const
{
    SetSettingString(kSettingsSection, kUpdateCheckTimeSetting, UpdateCheckTimeText(now()));
}

} // namespace quaylet
