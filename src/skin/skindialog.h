#pragma once

// The base of every skinned dialog: a frameless window whose outline follows
// its mask picture, whose controls sit where the mask's colours say, painted
// from its skin picture and dragged by any point of its background.
//
// A dialog calls SetSkin and registers its elements in its constructor, after
// creating its controls at their fallback places, and calls LoadSkin once
// before it is first shown.

#include "skin/skinelements.h"
#include "skin/skinnedcontrols.h"
#include "skin/snapdialog.h"

#include <QColor>
#include <QImage>
#include <QRgb>

#include <concepts>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quaylet {

// A skin picture looked up by its resource id; a null image with an
// errno-style number when it cannot be had.
struct SkinPicture {
    QImage image;
    int error = 0;
};
// scale: 2 asks for the picture drawn at twice its size, for a screen with a
// device pixel ratio of 2; a loader that has none answers with the plain one.
// Masks are always asked for at scale 1: they are read pixel by pixel.
using SkinPictureLoader = std::function<SkinPicture(int id, int scale)>;

// The pictures built into the program: ":/skins/<id>.png", and at scale 2
// ":/skins/<id>@2x.png" where it exists (with its device pixel ratio set, so
// it paints at the plain picture's size).
SkinPicture LoadSkinPictureResource(int id, int scale);

class KLSkinDialog : public CSnapDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KLSkinDialog)

public:
    explicit KLSkinDialog(QWidget* parent = nullptr, SkinPictureLoader loader = LoadSkinPictureResource);
    ~KLSkinDialog() override;

    void SetSkin(int skinId, int maskId, int overId, int downId, const QColor& transparent);

    template <class Button>
    requires std::derived_from<Button, QWidget> && std::derived_from<Button, ISkinButton>
    void AddButtonElement(Button& button, int controlId, const QColor& maskColour, const std::string& name,
                          bool loadFromFile)
    {
        Register("button", std::make_unique<KLSkinButtonElement>(button, button, controlId, maskColour.rgb(),
                                                                 name, loadFromFile));
    }

    template <class Label>
    requires std::derived_from<Label, QWidget> && std::derived_from<Label, ISkinLabel>
    void AddStaticElement(Label& label, int controlId, const QColor& maskColour, const std::string& name,
                          const QColor& textColour, const QString& fontFace, int fontSizeInTenths, bool link,
                          bool bold)
    {
        Register("static", std::make_unique<KLSkinStaticElement>(
                               label, label, controlId, maskColour.rgb(), name,
                               SkinLabelStyle{textColour, fontFace, fontSizeInTenths, link, bold}));
    }

    void AddPictureElement(QWidget& picture, int controlId, const QColor& maskColour,
                           const std::string& name);

    template <class Progress>
    requires std::derived_from<Progress, QWidget> && std::derived_from<Progress, ISkinProgress>
    void AddProgressElement(Progress& progress, int controlId, const QColor& maskColour,
                            const std::string& name, const QColor& background, const QColor& bar,
                            const QColor& border)
    {
        Register("progress",
                 std::make_unique<KLSkinProgressElement>(progress, progress, controlId, maskColour.rgb(),
                                                         name, SkinProgressColours{background, bar, border}));
    }

    void AddEditElement(QWidget& edit, int controlId, const QColor& maskColour, const std::string& name);

    // Loads the pictures and applies them to the window and its controls.
    // Without a skin picture the dialog stays as it was made; without a mask
    // it keeps its size and shape but is painted from the skin picture.
    void LoadSkin();

    bool isSkinned() const { return m_shaped; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Register(const char* kind, std::unique_ptr<KLSkinElement> element);
    SkinPicture Load(int id, int scale) const;

    SkinPictureLoader m_loader;
    int m_skinId = 0;
    int m_maskId = 0;
    int m_overId = 0;
    int m_downId = 0;
    QRgb m_transparent = 0;
    std::vector<std::unique_ptr<KLSkinElement>> m_elements; // in registration order
    QImage m_skin;                                          // kept for painting once loaded
    bool m_shaped = false;                                  // outline cut and controls placed
    bool m_dragging = false;
    QPoint m_dragOffset; // from the window's corner to the pressed point
};

} // namespace quaylet
