#pragma once

// The skins of the four skinned dialogs as plain data: which pictures each uses
// and the elements its constructor registers, in registration order. The
// dialogs register exactly these rows, the skin generator paints its masks with
// these colours, and the gallery builds its stand-in dialogs from them, so the
// three can never disagree.

#include <QRgb>
#include <QString>

#include <span>
#include <string_view>

namespace quaylet {

enum class SkinElementKind { Button, Static, Picture, Progress, Edit };

// The dialogs' control ids, as their elements name them.
namespace SkinControl {
inline constexpr int kOk = 1;
inline constexpr int kCancelDialog = 2;
inline constexpr int kPreview = 1000;
inline constexpr int kUserField = 1012;
inline constexpr int kPasswordField = 1013;
inline constexpr int kHelp = 1015;
inline constexpr int kClose = 1016;
inline constexpr int kCancel = 1017;
inline constexpr int kMenu = 1018;
inline constexpr int kCount = 1019;
inline constexpr int kStatus = 1021;
inline constexpr int kProgress = 1023;
inline constexpr int kSecondPreview = 1024;
inline constexpr int kAccountLine = 1026;
inline constexpr int kLogin = 1034;
inline constexpr int kCreateAccount = 1038;
inline constexpr int kAboutLabel = 1041;
inline constexpr int kSignInError = 1042;
inline constexpr int kAboutClose = 1043;
inline constexpr int kGalleryLink = 1044;
inline constexpr int kReturnLabel = 1045;
} // namespace SkinControl

// The colour of the bar the main window's Cancel button hides in while there
// is nothing to cancel.
inline constexpr QRgb kCancelBarColour = qRgb(15, 48, 113);

// Dressing of a label; only meaningful for SkinElementKind::Static.
struct SkinLabelDressing {
    QRgb textColour = 0;
    std::string_view fontFace;
    int fontSizeTenths = 0; // 84 is 8.4 points
    bool link = false;
    bool bold = false;
};

// Colours of a progress bar; only meaningful for SkinElementKind::Progress.
struct SkinProgressDressing {
    QRgb background = 0;
    QRgb bar = 0;
    QRgb border = 0;
};

struct SkinElementRow {
    std::string_view name;
    SkinElementKind kind = SkinElementKind::Button;
    int controlId = 0;
    QRgb maskColour = 0;
    bool loadFromFile = false; // buttons: take the images from "<name>.bmp"
    SkinLabelDressing label;
    SkinProgressDressing progress;
};

struct SkinTable {
    std::string_view dialog; // for log lines and the gallery
    int skinId = 0;
    int maskId = 0;
    int overId = 0;
    int downId = 0;
    QRgb transparent = 0;
    // Size of the pictures and the mask, before the mask width is cut to a multiple of 4.
    int width = 0;
    int height = 0;
    std::span<const SkinElementRow> elements;
};

const SkinTable& MainWindowSkin();
const SkinTable& SignInSkin();   // sign-in mode
const SkinTable& SignedInSkin(); // signed-in mode: other pictures, same geometry
const SkinTable& AboutSkin();
const SkinTable& UploadCompletedSkin();

// The five tables above, in that order.
std::span<const SkinTable* const> AllSkinTables();

// Where a skin picture or mask lives among the application's resources.
// Pictures are also there at twice the size, with "@2x" before the suffix.
QString SkinResourcePath(int id);
QString SkinResourcePath2x(int id);

} // namespace quaylet
