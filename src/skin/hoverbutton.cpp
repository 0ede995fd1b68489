#include "skin/hoverbutton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace quaylet {

namespace {

// The pointer counts as resting once it has stayed still this long.
constexpr int kHoverTimeMs = 1;

} // namespace

CHoverButton::CHoverButton(QWidget* parent) : QAbstractButton(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    m_hoverTimer.setSingleShot(true);
    m_hoverTimer.setInterval(kHoverTimeMs);
    connect(&m_hoverTimer, &QTimer::timeout, this, &CHoverButton::OnHover);
}

CHoverButton::~CHoverButton() = default;

void CHoverButton::setImages(const QImage& normal, const QImage& hover, const QImage& down)
{
    m_normal = QPixmap::fromImage(normal);
    m_hoverImage = QPixmap::fromImage(hover);
    m_down = QPixmap::fromImage(down);
    update();
}

void CHoverButton::SetToolTipText(const QString& text, bool activate)
{
    m_toolTip = text;
    setToolTip(activate ? text : QString());
    RefreshAccessibleName();
}

void CHoverButton::EnableButton()
{
    setEnabled(true);
}

void CHoverButton::DisableButton()
{
    setEnabled(false);
}

void CHoverButton::SetHandCursor(bool on)
{
    if (on) {
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
}

void CHoverButton::SetSpokenName(const QString& name)
{
    m_spokenName = name;
    RefreshAccessibleName();
}

void CHoverButton::RefreshAccessibleName()
{
    setAccessibleName(m_spokenName.isEmpty() ? m_toolTip : m_spokenName);
}

void CHoverButton::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    PaintFace(painter);
    PaintFocusFrame(painter);
}

void CHoverButton::PaintFace(QPainter& painter) const
{
    const QPixmap* image = &m_normal;
    if (isDown() || m_pressed) {
        image = &m_down;
    } else if (m_hover) {
        image = &m_hoverImage;
    }
    if (image->isNull()) {
        image = &m_normal;
    }
    if (!image->isNull()) {
        painter.drawPixmap(QPoint(0, 0), *image);
    }
}

void CHoverButton::PaintFocusFrame(QPainter& painter) const
{
    m_focusFrame.paint(painter, rect(), hasFocus());
}

void CHoverButton::OnHover()
{
    m_hover = true;
    m_toggle = false;
    update();
}

void CHoverButton::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_tracking) {
        m_tracking = true;
        m_hoverTimer.start();
    }
    QAbstractButton::mouseMoveEvent(event);
}

void CHoverButton::leaveEvent(QEvent* event)
{
    m_hoverTimer.stop();
    m_tracking = false;
    m_hover = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void CHoverButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractButton::mousePressEvent(event);
        return;
    }
    m_focusFrame.mouseUsed();
    m_pressed = true;
    m_toggle = !m_toggle;
    repaint();
    if (m_menuButton && m_toggle) {
        // The press opens the menu and is not passed on, so no click follows.
        const QPointer<CHoverButton> alive(this);
        Q_EMIT menuRequested(this, event->globalPosition().toPoint());
        if (alive) {
            m_pressed = false;
            repaint();
            event->accept();
        }
        return;
    }
    QAbstractButton::mousePressEvent(event);
}

void CHoverButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = false;
        update();
    }
    QAbstractButton::mouseReleaseEvent(event);
}

void CHoverButton::keyPressEvent(QKeyEvent* event)
{
    m_focusFrame.keyUsed();
    update();
    if (IsActivationKey(event->key()) && !event->isAutoRepeat()) {
        if (m_menuButton) {
            // From the keyboard the menu opens under the button.
            Q_EMIT menuRequested(this, mapToGlobal(rect().bottomLeft()));
            event->accept();
            return;
        }
        if (event->key() != Qt::Key_Space) {
            click();
            event->accept();
            return;
        }
    }
    QAbstractButton::keyPressEvent(event);
}

void CHoverButton::focusInEvent(QFocusEvent* event)
{
    m_focusFrame.focusIn(event->reason());
    QAbstractButton::focusInEvent(event);
}

} // namespace quaylet
