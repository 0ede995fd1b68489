#pragma once

// A label drawn straight onto the skin (no background of its own) that can
// act as a link: the address it was given or, without one, its own text.

#include "skin/focusframe.h"
#include "skin/skinnedcontrols.h"
#include "skin/skinstaticevents.h"

#include <QAccessible>
#include <QColor>
#include <QLabel>
#include <QString>

#include <string>

namespace quaylet {

class CSkinStatic final : public QLabel, public ISkinLabel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSkinStatic)

public:
    explicit CSkinStatic(QWidget* parent = nullptr);
    ~CSkinStatic() override;

    // Takes effect at the next repaint.
    void SetTextColour(const QColor& colour);
    // Size in tenths of a point. The font is underlined when the label is a
    // link, or when underline is forced, unless plain is forced; set the link
    // flag first, because a link label also starts reporting clicks here.
    void SetLabelFont(const QString& face, int sizeTenths, bool bold, bool underline, bool plain);

    void setLink(bool link) override;
    bool IsLink() const { return m_link; }
    // UTF-8; empty opens the label's own text.
    void SetAddress(const std::string& address) { m_address = address; }
    // Not owned; it must outlive the label or be reset first.
    void SetEvents(SkinStaticCallback::SkinStaticEvents* events) { m_events = events; }

    // How screen readers present the label: a link while it opens an address,
    // a button while a handler takes its clicks, an alert while an alert label
    // shows a message, else plain text; SetAccessibleRole overrides that.
    QAccessible::Role AccessibleRole() const;
    void SetAccessibleRole(QAccessible::Role role) { m_role = role; }
    // A label whose every new text is a message the user must hear at once.
    void SetAlert(bool alert) { m_alert = alert; }
    bool IsClickable() const { return m_notify; }
    // What a click does, for the keyboard and assistive tools.
    void Activate() { Click(); }

    // Replaces the text and repaints, at once, the label and the skin under
    // it, so no trace of a longer old text stays behind.
    void SetText(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    // The skin engine's names for the two above.
    void setTextColor(const QColor& colour) override { SetTextColour(colour); }
    void setLabelFont(const QString& face, int sizeInTenths, bool bold, bool forceUnderline,
                      bool forcePlain) override
    {
        SetLabelFont(face, sizeInTenths, bold, forceUnderline, forcePlain);
    }

    void ReportClicks();
    // What a click on the label does (also the keyboard's activation).
    void Click();

    bool m_link = false;
    bool m_alert = false;
    QAccessible::Role m_role = QAccessible::NoRole; // NoRole: the one the label's use gives
    // Clicks are reported (a link label after SetLabelFont); without it the
    // label lets the mouse through to the dialog, which is dragged by it.
    bool m_notify = false;
    std::string m_address;
    SkinStaticCallback::SkinStaticEvents* m_events = nullptr;
    FocusFrame m_focusFrame;
};

} // namespace quaylet
