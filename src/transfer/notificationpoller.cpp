#include "transfer/notificationpoller.h"

#include "core/logfile.h"
#include "core/settings.h"
#include "platform/tempdir.h"

#include <QByteArray>

#include <chrono>

namespace quaylet {

using std::chrono::milliseconds;

NotificationPoller::NotificationPoller(platform::PeriodicTimer& timer, IWindowReactions* window, Services services)
    : m_timer(timer), m_window(window), m_services(std::move(services)),
      m_intervalMinutes(IntervalFromSetting(
          GetSettingInt(kSettingsSection, "NotificationPollInterval", kDefaultIntervalMinutes)))
{
}

int NotificationPoller::IntervalFromSetting(int32_t stored)
{
    // A period of 0 would poll without pause.
    return stored > 0 ? stored : kDefaultIntervalMinutes;
}

void NotificationPoller::arm(int64_t firstDueMs, int minutes)
{
    m_timer.arm(milliseconds(firstDueMs), milliseconds(static_cast<int64_t>(minutes) * 60000));
}

void NotificationPoller::armAtStartUp()
{
    arm(0, m_intervalMinutes);
}

std::string PictureFileName(const std::string& address)
{
    const auto slash = address.rfind('/');
    return slash == std::string::npos ? address : address.substr(slash + 1);
}

void NotificationPoller::poll()
{
    WriteLog(LogTrace, "xferDaemon: Time to check comment on server");

    const auto idle = m_services.idleMilliseconds ? m_services.idleMilliseconds() : std::nullopt;
    if (idle && *idle > kIdleThresholdMs) {
        m_timer.arm(milliseconds(60000), milliseconds(60000));
        WriteLog(LogTrace, "xferDaemon: not checking comment on server since idle");
        return;
    }

    arm(static_cast<int64_t>(m_intervalMinutes) * 60000, m_intervalMinutes);
    m_record.clearTexts();
    if (m_services.getToast(m_record) != 1)
        return;
    WriteLog(LogTrace, "Got comment from server");

    // A reply without a period keeps the current one; 0 or below means the default.
    if (m_record.pollPeriod) {
        const int period = IntervalFromSetting(*m_record.pollPeriod);
        if (period != m_intervalMinutes) {
            m_intervalMinutes = period;
            SetSettingInt(kSettingsSection, "NotificationPollInterval", period);
            arm(0, period);
        }
    }

    if (GetSettingString(kSettingsSection, "LastComment", "") == m_record.reply) {
        WriteLog(LogTrace, "xferDaemon: old comment same as new one.. returning");
        return;
    }
    if (!m_record.reply.empty() && GetSettingInt(kSettingsSection, "ShowNotifications", 0) != 0)
        SetSettingString(kSettingsSection, "LastComment", m_record.reply);

    const std::string localPath = platform::TempPath() + PictureFileName(m_record.imageAddress);
    if (m_record.title.empty())
        return;
    m_record.plain = !QByteArray::fromStdString(m_record.title).toUpper().contains("NEW UPLOAD");

    // The name comes from the service: one that names no file of its own would
    // make the download write over the temp directory itself.
    const std::string name = PictureFileName(m_record.imageAddress);
    if (name.empty() || name == "." || name == ".." || !m_services.download(m_record.imageAddress, localPath)) {
        WriteLog(LogMilestone, "xferDaemon: URLDownloadToFile failed");
        return;
    }
    m_record.localImagePath = localPath;
    if (m_window)
        m_window->sendMessage(kMsgNotification, 0);
}

} // namespace quaylet
