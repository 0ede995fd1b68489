#pragma once

// The dotted focus frame of the skinned controls, shown only while the user
// works with the keyboard: a mouse click on a skinned button must not leave a
// frame on the artwork.

#include <Qt>

class QPainter;
class QRect;

namespace quaylet {

// Space, Return and Enter press a focused skinned control.
inline bool IsActivationKey(int key)
{
    return key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
}

class FocusFrame final {
public:
    void focusIn(Qt::FocusReason reason);
    void keyUsed() { m_keyboard = true; }
    void mouseUsed() { m_keyboard = false; }
    bool shown(bool hasFocus) const { return hasFocus && m_keyboard; }

    // Draws the frame inside rect when shown.
    void paint(QPainter& painter, const QRect& rect, bool hasFocus) const;

private:
    bool m_keyboard = false;
};

} // namespace quaylet
