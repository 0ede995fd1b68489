#pragma once

// The about box: the service's logo and the client's name and version.

#include "core/version.h"
#include "skin/skindialog.h"

#include <array>
#include <memory>
#include <optional>

namespace quaylet {

class CHoverButton;
class CSkinStatic;

class CAboutDlg final : public KLSkinDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CAboutDlg)

public:
    // version: the four parts; nothing: unreadable (the label then names the
    // program without a version, left-aligned).
    explicit CAboutDlg(QWidget* parent = nullptr,
                       std::optional<std::array<int, 4>> version = GetOwnVersion(),
                       SkinPictureLoader loader = LoadSkinPictureResource);
    ~CAboutDlg() override;

    // The label, for the tests and screen readers.
    const CSkinStatic& label() const { return *m_label; }

protected:
    // Enter ends the dialog with OK, as the Close button does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::unique_ptr<CSkinStatic> m_label;
    std::unique_ptr<CHoverButton> m_closeButton;
};

} // namespace quaylet
