// quaylet-skingallery: shows the stand-in of one skinned dialog, or renders
// every stand-in to a PNG as the screen shows it, cut corners included.
//
//   quaylet-skingallery [NAME]         show one (default: main-window)
//   quaylet-skingallery --render DIR   write NAME.png for each into DIR
//                                      (NAME@2x.png with QT_SCALE_FACTOR=2)
//   quaylet-skingallery --list         the names
//
// Rendering grabs the screen under the window, so run it on an X display
// (QT_QPA_PLATFORM=xcb); scripts/screenshots does that on a private Xvfb.

#include "skin/skingallery.h"
#include "screencapture/screencapture.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>
#include <string>

namespace quaylet {
namespace {

constexpr QPoint kRenderAt(40, 40);

const GalleryEntry* FindEntry(std::string_view name)
{
    for (const GalleryEntry& entry : GalleryEntries()) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

int Render(const QString& folder)
{
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "quaylet-skingallery: cannot make %s\n", qPrintable(folder));
        return 1;
    }
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        std::fprintf(stderr,
                     "quaylet-skingallery: not on X (%s); the corners will not show what lies behind\n",
                     qPrintable(QGuiApplication::platformName()));
    int failures = 0;
    for (const GalleryEntry& entry : GalleryEntries()) {
        const QString name = QString::fromUtf8(entry.name.data(), static_cast<qsizetype>(entry.name.size()));
        SkinGalleryDialog dialog(entry.table, entry.scene);
        dialog.move(kRenderAt);
        dialog.show();
        const bool shown = WaitUntilOnScreen(dialog);
        // A screen at twice the density shows the pictures drawn at twice the size.
        const bool sharp = dialog.devicePixelRatioF() >= 2;
        const QString path = QDir(folder).filePath(name + (sharp ? QStringLiteral("@2x.png") : QStringLiteral(".png")));
        const QPixmap picture = shown ? Capture(dialog) : QPixmap();
        if (picture.isNull() || !picture.save(path)) {
            std::fprintf(stderr, "quaylet-skingallery: could not render %s\n", qPrintable(name));
            ++failures;
        }
        dialog.hide();
    }
    return failures == 0 ? 0 : 1;
}

int Show(std::string_view name)
{
    const GalleryEntry* entry = FindEntry(name);
    if (entry == nullptr) {
        std::fprintf(stderr, "quaylet-skingallery: no stand-in named %.*s (try --list)\n",
                     static_cast<int>(name.size()), name.data());
        return 2;
    }
    SkinGalleryDialog dialog(entry->table, entry->scene);
    dialog.exec();
    return 0;
}

int Usage()
{
    std::fprintf(stderr, "usage: quaylet-skingallery [NAME] | --render DIR | --list\n");
    return 2;
}

} // namespace
} // namespace quaylet

// Qt's xcb platform asks libdbus for the session bus once per process, and
// libdbus keeps that allocation for the life of the process; a sanitizer
// build would report it at every run.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() == 1 && args[0] == QLatin1String("--list")) {
        for (const quaylet::GalleryEntry& entry : quaylet::GalleryEntries())
            std::printf("%.*s\n", static_cast<int>(entry.name.size()), entry.name.data());
        return 0;
    }
    if (args.size() == 2 && args[0] == QLatin1String("--render"))
        return quaylet::Render(args[1]);
    if (args.isEmpty())
        return quaylet::Show("main-window");
    if (args.size() == 1 && !args[0].startsWith(QLatin1Char('-')))
        return quaylet::Show(args[0].toStdString());
    return quaylet::Usage();
}
