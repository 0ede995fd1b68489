#pragma once

// Asks the service now and then for a short notification, only while the user
// is at the computer, follows the poll period the service suggests, remembers
// the last reply so the same notification is handled once, and downloads the
// notification's picture into the private temp directory before telling the
// window. Runs on the transfer thread between files.

#include "api/toastrecord.h"
#include "platform/events.h"
#include "transfer/windowreactions.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quaylet {

class NotificationPoller final {
public:
    static constexpr int kDefaultIntervalMinutes = 30;
    static constexpr uint64_t kIdleThresholdMs = 300000;

    struct Services {
        // The notification call: fills the record, returns 1 when it holds a notification.
        std::function<int(ToastRecord&)> getToast;
        // Downloads an address into a file, replacing it; true on success.
        std::function<bool(const std::string& address, const std::string& path)> download;
        // Milliseconds since the last input, when the system can tell.
        std::function<std::optional<uint64_t>()> idleMilliseconds;
    };

    // window may be null (a front end without a window): nothing is reported.
    NotificationPoller(platform::PeriodicTimer& timer, IWindowReactions* window, Services services);

    // The interval read from "NotificationPollInterval"; 0 or below means the default.
    static int IntervalFromSetting(int32_t stored);

    // Arms the timer to fire at once and then every interval (window start-up).
    void armAtStartUp();
    void poll();

    int intervalMinutes() const { return m_intervalMinutes; }
    const ToastRecord& record() const { return m_record; }

private:
    void arm(int64_t firstDueMs, int minutes);

    platform::PeriodicTimer& m_timer;
    IWindowReactions* m_window;
    Services m_services;
    int m_intervalMinutes;
    ToastRecord m_record;
};

// The file name part of a picture address: what follows its last '/', or the
// whole address when it has none.
std::string PictureFileName(const std::string& address);

} // namespace quaylet
