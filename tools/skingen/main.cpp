// quaylet-skingen OUTDIR: writes every skin picture (at its size and at twice
// its size, "<id>@2x.png") and every mask ("<id>.png") into OUTDIR as PNG.
// quaylet-skingen --icons OUTDIR: writes the client's icon as a hicolor theme
// tree into OUTDIR ("hicolor/<n>x<n>/apps/<id>.png" and "hicolor/scalable/apps/<id>.svg").

#include "appiconart.h"
#include "maskpainter.h"
#include "pictures.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

namespace {

// The pictures' texts are set in DejaVu Sans; without it the output would
// silently change with whatever font stood in.
bool HasArtFont()
{
    return QFontDatabase::families().contains(QStringLiteral("DejaVu Sans"));
}

bool Save(const QImage& image, const QString& path)
{
    // Masks must keep their exact colours: PNG is lossless, and no alpha is written.
    if (image.isNull() || !image.save(path, "PNG")) {
        std::fprintf(stderr, "quaylet-skingen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool SaveBytes(const QByteArray& bytes, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "quaylet-skingen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool MakeFolder(const QString& path)
{
    if (!QDir().mkpath(path)) {
        std::fprintf(stderr, "quaylet-skingen: cannot create %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// The file name is the application id, so the desktop entry's Icon= finds it.
int WriteIcons(const QDir& out)
{
    using namespace quaylet::skingen;
    const QString name = QStringLiteral("example.glimmerly.Quaylet");
    bool ok = true;
    for (int size : AppIconSizes()) {
        const QString folder = out.filePath(QStringLiteral("hicolor/%1x%1/apps").arg(size));
        ok = MakeFolder(folder) && Save(PaintAppIcon(size), folder + u'/' + name + QStringLiteral(".png")) && ok;
    }
    const QString scalable = out.filePath(QStringLiteral("hicolor/scalable/apps"));
    ok = MakeFolder(scalable) && SaveBytes(AppIconSvg(), scalable + u'/' + name + QStringLiteral(".svg")) && ok;
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--icons") == 0)
        return WriteIcons(QDir(QString::fromLocal8Bit(argv[2])));
    if (argc != 2) {
        std::fprintf(stderr, "usage: quaylet-skingen OUTDIR\n       quaylet-skingen --icons OUTDIR\n");
        return 2;
    }
    if (!HasArtFont()) {
        std::fprintf(stderr, "quaylet-skingen: DejaVu Sans is missing (install fonts-dejavu-core)\n");
        return 1;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "quaylet-skingen: cannot create %s\n", argv[1]);
        return 1;
    }
    using namespace quaylet::skingen;
    const auto file = [&out](int id, const char* suffix) {
        return out.filePath(QStringLiteral("%1%2.png").arg(id).arg(QLatin1StringView(suffix)));
    };
    bool ok = true;
    for (int id : MaskIds()) {
        ok = Save(PaintMask(id), file(id, "")) && ok;
    }
    for (int id : PictureIds()) {
        ok = Save(PaintPicture(id, 1), file(id, "")) && ok;
        ok = Save(PaintPicture(id, 2), file(id, "@2x")) && ok;
    }
    return ok ? 0 : 1;
}
