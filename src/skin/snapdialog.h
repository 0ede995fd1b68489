#pragma once

// A dialog whose moves snap to the edges of its screen's work area (see
// snaprule.h). Moves made by the dialog itself, such as dragging a skinned
// dialog by its background, go through MoveSnapped.
//
// Where the compositor moves the window (Wayland without an X display, where
// a client can neither place its window nor learn where it is), nothing snaps.

#include <QDialog>
#include <QPoint>

namespace quaylet {

class CSnapDialog : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSnapDialog)

public:
    explicit CSnapDialog(QWidget* parent = nullptr);
    ~CSnapDialog() override;

protected:
    // The position a proposed move ends at, with the dialog's current size and
    // the screen it is on. A derived dialog that adjusts moves of its own calls
    // this first and works on its answer.
    virtual QPoint OnWindowPosChanging(QPoint proposed) const;
    void MoveSnapped(QPoint proposed);
};

} // namespace quaylet
