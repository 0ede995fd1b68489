#include "skin/skintables.h"

#include <array>

namespace quaylet {

namespace {

constexpr QRgb kTransparent = qRgb(255, 0, 0);

constexpr SkinElementRow Button(std::string_view name, int id, QRgb mask)
{
    return {name, SkinElementKind::Button, id, mask, false, {}, {}};
}

constexpr SkinElementRow Label(std::string_view name, int id, QRgb mask, QRgb text, int sizeTenths, bool link,
                               bool bold)
{
    return {name, SkinElementKind::Static, id, mask, false, {text, "Tahoma", sizeTenths, link, bold}, {}};
}

constexpr SkinElementRow Placed(std::string_view name, SkinElementKind kind, int id, QRgb mask)
{
    return {name, kind, id, mask, false, {}, {}};
}

constexpr std::array kMainWindow{
    Button("Cancel", SkinControl::kCancel, qRgb(128, 0, 128)),
    Button("Close", SkinControl::kClose, qRgb(0, 255, 128)),
    Button("Help", SkinControl::kHelp, qRgb(0, 255, 255)),
    Button("Menu", SkinControl::kMenu, qRgb(255, 255, 0)),
    Button("Login", SkinControl::kLogin, qRgb(255, 128, 64)),
    Label("Count", SkinControl::kCount, qRgb(255, 0, 255), qRgb(255, 255, 255), 84, false, false),
    Label("Status", SkinControl::kStatus, qRgb(255, 255, 128), qRgb(255, 255, 255), 140, false, false),
    Label("UserName", SkinControl::kAccountLine, qRgb(128, 128, 64), qRgb(200, 200, 200), 140, true, false),
    Placed("Preview", SkinElementKind::Picture, SkinControl::kPreview, qRgb(128, 128, 255)),
    // Same colour as the first "Preview": it never receives pixels and keeps its template place.
    Placed("Preview", SkinElementKind::Picture, SkinControl::kSecondPreview, qRgb(128, 128, 255)),
    SkinElementRow{"Progress",
                   SkinElementKind::Progress,
                   SkinControl::kProgress,
                   qRgb(64, 64, 64),
                   false,
                   {},
                   {qRgb(0, 0, 0), qRgb(31, 92, 207), qRgb(106, 106, 106)}},
};

// Both sign-in skins share this geometry; the second "RegLinkLab" is the error label.
constexpr std::array kSignIn{
    Placed("UserName", SkinElementKind::Edit, SkinControl::kUserField, qRgb(16, 255, 16)),
    Placed("Pwd", SkinElementKind::Edit, SkinControl::kPasswordField, qRgb(124, 230, 124)),
    Label("RegLinkLab", SkinControl::kCreateAccount, qRgb(16, 128, 16), qRgb(247, 198, 66), 84, true, true),
    Label("RegLinkLab", SkinControl::kSignInError, qRgb(0, 204, 255), qRgb(255, 0, 0), 84, false, false),
    Button("OKBut", SkinControl::kOk, qRgb(255, 0, 255)),
    Button("CancelBut", SkinControl::kCancelDialog, qRgb(12, 41, 96)),
};

constexpr std::array kUploadCompleted{
    Label("LinkLab", SkinControl::kGalleryLink, qRgb(0, 255, 0), qRgb(255, 255, 255), 84, true, true),
    Label("ReturnLab", SkinControl::kReturnLabel, qRgb(0, 255, 255), qRgb(255, 255, 255), 140, true, true),
    Button("Help", SkinControl::kHelp, qRgb(255, 255, 0)),
};

constexpr std::array kAbout{
    Label("AboutLabel", SkinControl::kAboutLabel, qRgb(16, 128, 16), qRgb(255, 255, 255), 84, false, false),
    Button("Close", SkinControl::kAboutClose, qRgb(188, 190, 192)),
};

const SkinTable kMainWindowSkin{"main window", 186, 187, 186, 186, kTransparent, 640, 480, kMainWindow};
const SkinTable kSignInSkin{"sign-in", 188, 189, 188, 188, kTransparent, 369, 260, kSignIn};
const SkinTable kSignedInSkin{"signed-in", 225, 226, 225, 225, kTransparent, 369, 260, kSignIn};
const SkinTable kAboutSkin{"about", 190, 191, 190, 190, kTransparent, 362, 219, kAbout};
const SkinTable kUploadCompletedSkin{"upload completed", 192, 193, 192, 192, kTransparent, 640, 480,
                                     kUploadCompleted};

const std::array<const SkinTable*, 5> kAll{&kMainWindowSkin, &kSignInSkin, &kSignedInSkin, &kAboutSkin,
                                           &kUploadCompletedSkin};

} // namespace

const SkinTable& MainWindowSkin()
{
    return kMainWindowSkin;
}

const SkinTable& SignInSkin()
{
    return kSignInSkin;
}

const SkinTable& SignedInSkin()
{
    return kSignedInSkin;
}

const SkinTable& AboutSkin()
{
    return kAboutSkin;
}

const SkinTable& UploadCompletedSkin()
{
    return kUploadCompletedSkin;
}

std::span<const SkinTable* const> AllSkinTables()
{
    return kAll;
}

QString SkinResourcePath(int id)
{
    return QStringLiteral(":/skins/%1.png").arg(id);
}

QString SkinResourcePath2x(int id)
{
    return QStringLiteral(":/skins/%1@2x.png").arg(id);
}

} // namespace quaylet
