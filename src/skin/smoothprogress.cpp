#include "skin/smoothprogress.h"

#include "skin/skinaccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QMetaObject>
#include <QPainter>
#include <QPalette>
#include <QThread>

#include <cstdint>

namespace quaylet {

CSmoothProgress::CSmoothProgress(QWidget* parent) : QWidget(parent)
{
    const QPalette palette = QApplication::palette();
    m_background = palette.color(QPalette::Button);
    m_bar = palette.color(QPalette::Highlight);
    m_border = palette.color(QPalette::Shadow);
    setAttribute(Qt::WA_OpaquePaintEvent);
    InstallSkinAccessibility();
}

CSmoothProgress::~CSmoothProgress() = default;

void CSmoothProgress::SetMaximum(int maximum)
{
    const std::lock_guard lock(m_setMutex);
    m_maximum.store(maximum);
}

int CSmoothProgress::SetPos(int position)
{
    {
        const std::lock_guard lock(m_setMutex);
        if (position > m_maximum.load()) {
            return -1;
        }
        m_position.store(position);
    }
    Repaint();
    return position;
}

void CSmoothProgress::Repaint()
{
    if (QThread::currentThread() == thread()) {
        repaint();
        TellNewValue();
    } else {
        // Widgets are painted on their own thread only; the window thread
        // picks the new position up when it handles the update.
        QMetaObject::invokeMethod(
            this,
            [this] {
                update();
                TellNewValue();
            },
            Qt::QueuedConnection);
    }
}

void CSmoothProgress::TellNewValue()
{
    // Every step of an upload sets the position; screen readers hear a change
    // of the value only.
    const int position = m_position.load();
    if (position == m_toldPosition)
        return;
    m_toldPosition = position;
    QAccessibleValueChangeEvent event(this, position);
    QAccessible::updateAccessibility(&event);
}

void CSmoothProgress::SetColours(const QColor& background, const QColor& bar, const QColor& border)
{
    bool changed = false;
    for (auto [stored, wanted] : {std::pair{&m_background, &background}, std::pair{&m_bar, &bar},
                                  std::pair{&m_border, &border}}) {
        if (*stored != *wanted) {
            *stored = *wanted;
            changed = true;
        }
    }
    if (changed) {
        repaint();
    }
}

void CSmoothProgress::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    const QRect box = rect();
    painter.fillRect(box, m_background);
    painter.setPen(m_border);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box.adjusted(0, 0, -1, -1));

    const int maximum = m_maximum.load();
    const int left = box.left();
    const int width = box.width();
    int right = left;
    if (maximum > 0) {
        right = left + static_cast<int>(static_cast<int64_t>(width) * m_position.load() / maximum);
    }
    // Bar from inside the top-left border to the bottom edge, as the artwork expects.
    const QRect bar(QPoint(left + 1, box.top() + 1), QPoint(right - 1, box.bottom()));
    if (bar.width() > 0 && bar.height() > 0) {
        painter.fillRect(bar, m_bar);
    }
}

} // namespace quaylet
