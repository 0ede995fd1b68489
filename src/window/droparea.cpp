#include "window/droparea.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>

namespace quaylet {

DropArea::DropArea(QWidget* parent) : QAbstractButton(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::TabFocus);
    // The words of the artwork's invitation.
    setAccessibleName(QStringLiteral("Drag and drop your photos and videos here"));
    setAccessibleDescription(
        QStringLiteral("to upload them to your Glimmerly account. Press Enter to choose files."));
}

DropArea::~DropArea() = default;

void DropArea::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    m_focusFrame.paint(painter, rect(), hasFocus());
}

void DropArea::keyPressEvent(QKeyEvent* event)
{
    if (IsActivationKey(event->key()) && !event->isAutoRepeat()) {
        m_focusFrame.keyUsed();
        update();
        click();
        event->accept();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void DropArea::focusInEvent(QFocusEvent* event)
{
    m_focusFrame.focusIn(event->reason());
    QAbstractButton::focusInEvent(event);
}

} // namespace quaylet
