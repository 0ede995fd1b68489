#include "skin/skinregistration.h"

#include "skin/hoverbutton.h"
#include "skin/skinstatic.h"
#include "skin/smoothprogress.h"

#include <string>

namespace quaylet {

void RegisterSkinTable(KLSkinDialog& dialog, const SkinTable& table,
                       const std::function<SkinRowControl(const SkinElementRow& row)>& controlFor)
{
    for (const SkinElementRow& row : table.elements) {
        const SkinRowControl control = controlFor(row);
        const std::string name(row.name);
        const QColor mask = QColor::fromRgb(row.maskColour);
        // Tests and accessibility tools find a control by its id.
        QWidget* widget = control.button     ? static_cast<QWidget*>(control.button)
                          : control.label    ? static_cast<QWidget*>(control.label)
                          : control.progress ? static_cast<QWidget*>(control.progress)
                          : control.picture  ? control.picture
                                             : control.edit;
        if (widget != nullptr)
            widget->setObjectName(QString::number(row.controlId));
        if (control.button != nullptr) {
            dialog.AddButtonElement(*control.button, row.controlId, mask, name, row.loadFromFile);
        } else if (control.label != nullptr) {
            dialog.AddStaticElement(*control.label, row.controlId, mask, name, QColor::fromRgb(row.label.textColour),
                                    QString::fromUtf8(row.label.fontFace.data(),
                                                      static_cast<qsizetype>(row.label.fontFace.size())),
                                    row.label.fontSizeTenths, row.label.link, row.label.bold);
        } else if (control.edit != nullptr) {
            dialog.AddEditElement(*control.edit, row.controlId, mask, name);
        } else if (control.picture != nullptr) {
            dialog.AddPictureElement(*control.picture, row.controlId, mask, name);
        } else if (control.progress != nullptr) {
            dialog.AddProgressElement(*control.progress, row.controlId, mask, name,
                                      QColor::fromRgb(row.progress.background), QColor::fromRgb(row.progress.bar),
                                      QColor::fromRgb(row.progress.border));
        }
    }
}

} // namespace quaylet
