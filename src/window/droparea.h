#pragma once

// The centre panel's invitation to drop photos and videos, as a control of
// its own: the keyboard reaches it, Enter or Space asks for a file chooser,
// and screen readers read it as the invitation painted into the artwork. It
// paints nothing but the keyboard's focus frame, and lets the mouse and the
// drops through to the window beneath.

#include "skin/focusframe.h"

#include <QAbstractButton>

namespace quaylet {

class DropArea final : public QAbstractButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DropArea)

  public:
    explicit DropArea(QWidget* parent);
    ~DropArea() override;

    // clicked(): the user asked to choose files.

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

  private:
    FocusFrame m_focusFrame;
};

} // namespace quaylet
