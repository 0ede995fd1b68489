#include "skin/cancelbutton.h"

#include <QPainter>

namespace quaylet {

CCancelButton::CCancelButton(QWidget* parent) : CHoverButton(parent) {}

CCancelButton::~CCancelButton() = default;

void CCancelButton::EnableButton()
{
    setEnabled(true);
    m_shown = true;
    repaint();
}

void CCancelButton::DisableButton()
{
    setEnabled(false);
    m_shown = false;
    if (QWidget* parent = parentWidget()) {
        parent->repaint();
    } else {
        repaint();
    }
}

void CCancelButton::paintEvent(QPaintEvent* event)
{
    if (m_shown) {
        CHoverButton::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), m_fill);
}

} // namespace quaylet
