#pragma once

// Stand-ins for the skinned dialogs, built from their element tables alone:
// one control of the right kind per row, registered as the real dialog
// registers it and dressed with sample contents, so that the skins can be
// looked at, and their layout checked, without the windows that use them.

#include "skin/skindialog.h"
#include "skin/skinregistration.h"
#include "skin/skintables.h"

#include <QTemporaryDir>

#include <cstddef>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace quaylet {

// The window at rest, or (it only changes the main window) in the middle of an
// upload, with the preview, the count, the progress bar and Cancel showing.
enum class GalleryScene { Idle, Busy };

class SkinGalleryDialog final : public KLSkinDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SkinGalleryDialog)

public:
    // Creates the controls, registers them, loads the skin and fills in the
    // samples. Window thread, after the application object exists.
    explicit SkinGalleryDialog(const SkinTable& table, GalleryScene scene = GalleryScene::Idle,
                               QWidget* parent = nullptr, SkinPictureLoader loader = LoadSkinPictureResource);
    ~SkinGalleryDialog() override;

    const SkinTable& table() const { return m_table; }
    // The control made for the table's row.
    QWidget& control(std::size_t row) const { return *m_controls.at(row); }

private:
    // Creates a control as a child of the dialog and keeps it.
    template <class Control>
    Control& Make();
    SkinRowControl MakeControl(const SkinElementRow& row);
    void FillSample(const SkinElementRow& row, QWidget& control, GalleryScene scene);
    std::string SamplePicture();

    const SkinTable& m_table;
    // Holds the preview's sample picture, which the picture control reads
    // from a file; declared before the controls, so it outlives them.
    QTemporaryDir m_sampleFolder;
    // Children of the dialog, in table order; deleted before the base class
    // drops the elements that refer to them.
    std::vector<std::unique_ptr<QWidget>> m_controls;
};

// A landscape photo, as a user might drop one: the samples' preview.
QImage DrawSamplePhoto();

// One picture of the gallery: a file and command-line name, and what it shows.
struct GalleryEntry {
    std::string_view name;
    const SkinTable& table;
    GalleryScene scene;
};

// Every skin once (both modes of the sign-in dialog), and the main window
// once more while it uploads.
std::span<const GalleryEntry> GalleryEntries();

} // namespace quaylet
