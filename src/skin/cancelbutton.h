#pragma once

// The Cancel button of a bar: while disabled it paints itself in the bar's
// colour, so it disappears into the artwork until there is something to
// cancel.

#include "skin/hoverbutton.h"

#include <QColor>

namespace quaylet {

class CCancelButton final : public CHoverButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCancelButton)

public:
    explicit CCancelButton(QWidget* parent = nullptr);
    ~CCancelButton() override;

    void SetFillColour(const QColor& colour) { m_fill = colour; }

    // Shows the button and repaints it.
    void EnableButton() override;
    // Hides the button in its fill colour and repaints the whole parent, whose
    // artwork surrounds it.
    void DisableButton() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_fill = Qt::black;
    bool m_shown = false;
};

} // namespace quaylet
