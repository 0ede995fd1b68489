#include "skin/skinstatic.h"

#include "skin/browserlink.h"
#include "skin/skinaccessible.h"

#include <QFont>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

namespace quaylet {

CSkinStatic::CSkinStatic(QWidget* parent) : QLabel(parent)
{
    InstallSkinAccessibility();
    setAutoFillBackground(false);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextFormat(Qt::PlainText);
}

CSkinStatic::~CSkinStatic() = default;

void CSkinStatic::SetTextColour(const QColor& colour)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, colour);
    setPalette(palette);
}

void CSkinStatic::SetLabelFont(const QString& face, int sizeTenths, bool bold, bool underline, bool plain)
{
    QFont font(face);
    font.setPointSizeF(sizeTenths / 10.0);
    bool underlined = m_link;
    if (underline) {
        underlined = true;
    }
    if (plain) {
        underlined = false;
    }
    font.setUnderline(underlined);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    if (m_link) {
        ReportClicks();
    }
    setFont(font);
}

void CSkinStatic::setLink(bool link)
{
    m_link = link;
    if (link) {
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
}

void CSkinStatic::ReportClicks()
{
    m_notify = true;
    setAttribute(Qt::WA_TransparentForMouseEvents, false);
    setFocusPolicy(Qt::StrongFocus);
}

void CSkinStatic::SetText(const QString& text)
{
    // The label tells screen readers of every new text (its name); the same
    // text again, as the transfer repeats it, would only be noise.
    const bool changed = text != this->text();
    if (changed) {
        setText(text);
    }
    repaint();
    if (QWidget* parent = parentWidget()) {
        parent->repaint(geometry());
    }
    if (changed && m_alert && !text.isEmpty() && accessibleName().isEmpty()) {
        AnnounceAlert(*this);
    }
}

QAccessible::Role CSkinStatic::AccessibleRole() const
{
    if (m_role != QAccessible::NoRole) {
        return m_role;
    }
    if (m_alert && !text().isEmpty()) {
        return QAccessible::AlertMessage;
    }
    if (m_notify) {
        return m_events != nullptr ? QAccessible::Button : QAccessible::Link;
    }
    return QAccessible::StaticText;
}

void CSkinStatic::Click()
{
    if (!m_notify) {
        return;
    }
    if (m_events != nullptr) {
        bool handled = false;
        m_events->OnStaticClicked(handled);
        if (handled) {
            return;
        }
    }
    if (m_link) {
        OpenLinkInBrowser(m_address.empty() ? text().toStdString() : m_address);
    }
}

void CSkinStatic::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    QPainter painter(this);
    m_focusFrame.paint(painter, rect(), hasFocus());
}

void CSkinStatic::mousePressEvent(QMouseEvent* event)
{
    if (m_notify && event->button() == Qt::LeftButton) {
        // Kept, so the release comes back here instead of the dialog taking
        // the press as the start of a drag.
        m_focusFrame.mouseUsed();
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void CSkinStatic::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        Click();
    }
}

void CSkinStatic::keyPressEvent(QKeyEvent* event)
{
    if (m_notify && IsActivationKey(event->key())) {
        m_focusFrame.keyUsed();
        update();
        Click();
        event->accept();
        return;
    }
    QLabel::keyPressEvent(event);
}

void CSkinStatic::focusInEvent(QFocusEvent* event)
{
    m_focusFrame.focusIn(event->reason());
    QLabel::focusInEvent(event);
}

} // namespace quaylet
