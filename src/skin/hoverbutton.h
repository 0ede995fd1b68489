#pragma once

// A button drawn entirely from the skin: one picture each for rest, hover and
// press, a tooltip, an optional hand cursor, and a menu mode in which a press
// opens the owner's menu instead of clicking.

#include "skin/focusframe.h"
#include "skin/skinnedcontrols.h"

#include <QAbstractButton>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QString>
#include <QTimer>

namespace quaylet {

class CHoverButton : public QAbstractButton, public ISkinButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CHoverButton)

public:
    explicit CHoverButton(QWidget* parent = nullptr);
    ~CHoverButton() override;

    // The skin's pictures, each as large as the button; a null image is a
    // missing picture (the button then shows its normal picture, or nothing
    // so the skin shows through).
    void setImages(const QImage& normal, const QImage& hover, const QImage& down) override;

    void SetToolTipText(const QString& text, bool activate);
    virtual void EnableButton();
    virtual void DisableButton();

    void SetMenuButton(bool on) { m_menuButton = on; }
    void SetHandCursor(bool on);
    // What screen readers call the button: the words on its picture. Without
    // them, its tooltip.
    void SetSpokenName(const QString& name);

Q_SIGNALS:
    // A press on a menu button. The receiver opens its menu at globalPos and
    // returns at once, while the menu is still open (it pops the menu up, it
    // does not run it), so the button is drawn released as the menu shows.
    // Connect it directly: the press is accepted only if the button survived.
    void menuRequested(quaylet::CHoverButton* button, const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

    // The picture of the current state, unscaled at (0, 0).
    void PaintFace(QPainter& painter) const;
    void PaintFocusFrame(QPainter& painter) const;

private:
    void OnHover();
    void RefreshAccessibleName();

    QPixmap m_normal;
    QPixmap m_hoverImage;
    QPixmap m_down;
    QString m_toolTip;
    QString m_spokenName;
    // The pointer rested on the button after entering it.
    bool m_hover = false;
    // A hover is awaited since the pointer last entered.
    bool m_tracking = false;
    bool m_pressed = false;
    bool m_menuButton = false;
    // Flips on every press and only a hover resets it, so the press after a
    // menu has closed is an ordinary click until the pointer rests on the
    // button again.
    bool m_toggle = false;
    QTimer m_hoverTimer;
    FocusFrame m_focusFrame;
};

} // namespace quaylet
