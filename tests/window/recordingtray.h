#pragma once

// A tray icon for window tests: it keeps what the window asked of it and lets
// the test click it as the desktop would.

#include "window/trayicon.h"

#include <QIcon>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <vector>

namespace quaylet::test {

class RecordingTrayIcon final : public ITrayIcon {
public:
    // available false: a desktop without a system tray.
    explicit RecordingTrayIcon(bool available = true) : m_available(available) {}

    bool trayAvailable() const override { return m_available; }
    void add(const QIcon& icon, const QString& toolTip) override;
    void setToolTip(const QString& toolTip) override;
    void showBalloon(const TrayBalloon& balloon) override;
    void removeBalloon() override;
    void remove() override;

    // Delivers a click to the window, on the calling (window) thread.
    void click(TrayClick click, QPoint at = {});

    bool added = false; // between add() and remove()
    int adds = 0;
    int removals = 0;
    QIcon icon;
    QStringList toolTips;              // every tooltip set, the first from add()
    std::vector<TrayBalloon> balloons; // every balloon shown with a text
    bool balloonShown = false;         // a balloon is up now
    int balloonRemovals = 0;           // removeBalloon() and empty balloons

private:
    const bool m_available;
};

} // namespace quaylet::test
