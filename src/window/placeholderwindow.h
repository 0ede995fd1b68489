#pragma once

// A minimal main window that stands in until the skinned drop window exists:
// it can be shown and brought to the front, and closing it ends the client.

#include "app/mainwindowseam.h"

#include <QWidget>

namespace quaylet {

class PlaceholderWindow final : public QWidget, public IMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlaceholderWindow)

public:
    // visible false: start hidden, or minimised where no system tray exists
    // (so the window is never out of the user's reach).
    explicit PlaceholderWindow(bool visible);
    ~PlaceholderWindow() override;

    void activate() override;
    void requestClose() override;
    int run() override;

private:
    bool m_visible;
};

} // namespace quaylet
