#include "recordingtray.h"

namespace quaylet::test {

void RecordingTrayIcon::add(const QIcon& newIcon, const QString& toolTip)
{
    added = true;
    ++adds;
    icon = newIcon;
    toolTips << toolTip;
}

void RecordingTrayIcon::setToolTip(const QString& toolTip)
{
    toolTips << toolTip;
}

void RecordingTrayIcon::showBalloon(const TrayBalloon& balloon)
{
    if (balloon.text.isEmpty()) {
        removeBalloon();
        return;
    }
    balloons.push_back(balloon);
    balloonShown = true;
}

void RecordingTrayIcon::removeBalloon()
{
    ++balloonRemovals;
    balloonShown = false;
}

void RecordingTrayIcon::remove()
{
    added = false;
    ++removals;
    balloonShown = false;
}

void RecordingTrayIcon::click(TrayClick which, QPoint at)
{
    if (onClick)
        onClick(which, at);
}

} // namespace quaylet::test
