#pragma once

// Registers a dialog's controls with its skin exactly as the skin's element
// table lists them, so that the dialogs, the skin pictures and the gallery
// never disagree about a colour, a font or the order of registration.

#include "skin/skindialog.h"
#include "skin/skintables.h"

#include <QWidget>

#include <functional>

namespace quaylet {

class CHoverButton;
class CSkinStatic;
class CSmoothProgress;

// The control a dialog made for a row; at most one is set.
struct SkinRowControl {
    CHoverButton* button = nullptr;
    CSkinStatic* label = nullptr;
    QWidget* edit = nullptr;
    QWidget* picture = nullptr;
    CSmoothProgress* progress = nullptr;
};

// Calls controlFor for every row of the table, in order, and registers what
// it answers with the row's dressing. A row without a control is skipped.
void RegisterSkinTable(KLSkinDialog& dialog, const SkinTable& table,
                       const std::function<SkinRowControl(const SkinElementRow& row)>& controlFor);

} // namespace quaylet
