#pragma once

// A flat progress bar. The transfer thread and the encoder's output reader
// set its maximum and position directly; painting stays on the window thread.
// Those threads must be done with the bar before it is destroyed.

#include "skin/skinnedcontrols.h"

#include <QColor>
#include <QWidget>

#include <atomic>
#include <mutex>

namespace quaylet {

class CSmoothProgress final : public QWidget, public ISkinProgress {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSmoothProgress)

public:
    explicit CSmoothProgress(QWidget* parent = nullptr);
    ~CSmoothProgress() override;

    // Any thread. Users set the maximum (100) before the first position.
    void SetMaximum(int maximum);
    int Maximum() const { return m_maximum.load(); }
    // Any thread. A position above the maximum is refused with -1 and changes
    // nothing; otherwise it is stored, the bar repainted and it is returned.
    int SetPos(int position);
    int Pos() const { return m_position.load(); }

    // Window thread. Repaints when any colour changed.
    void SetColours(const QColor& background, const QColor& bar, const QColor& border);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The skin engine's name for SetColours.
    void setColors(const QColor& background, const QColor& bar, const QColor& border) override
    {
        SetColours(background, bar, border);
    }

    void Repaint();
    void TellNewValue();

    // Makes SetPos's check against the maximum and its store one step; the
    // painter reads both atomics without it.
    std::mutex m_setMutex;
    std::atomic<int> m_maximum{0};  // written under m_setMutex
    std::atomic<int> m_position{0}; // written under m_setMutex
    // Window thread only.
    QColor m_background;
    QColor m_bar;
    QColor m_border;
    int m_toldPosition = -1; // the value screen readers were last told
};

} // namespace quaylet
