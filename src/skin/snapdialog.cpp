#include "skin/snapdialog.h"

#include "skin/snaprule.h"

#include <QScreen>

namespace quaylet {

CSnapDialog::CSnapDialog(QWidget* parent) : QDialog(parent) {}

CSnapDialog::~CSnapDialog() = default;

QPoint CSnapDialog::OnWindowPosChanging(QPoint proposed) const
{
    const QScreen* current = screen();
    if (current == nullptr)
        return proposed;
    return SnapPosition(proposed, size(), current->geometry(), current->availableGeometry());
}

void CSnapDialog::MoveSnapped(QPoint proposed)
{
    move(OnWindowPosChanging(proposed));
}

} // namespace quaylet
