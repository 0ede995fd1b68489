#include "skin/skinfonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace quaylet {

namespace {

const char* const kFontFolder = "/usr/share/wine/fonts/";
const char* const kFontFiles[] = {"tahoma.ttf", "tahomabd.ttf"};

} // namespace

bool EnsureSkinFonts()
{
    const QString face = QString::fromLatin1(kSkinFontFace);
    if (QFontDatabase::hasFamily(face)) {
        return true;
    }
    for (const char* file : kFontFiles) {
        QFontDatabase::addApplicationFont(QString::fromLatin1(kFontFolder) + QString::fromLatin1(file));
    }
    return QFontDatabase::hasFamily(face);
}

} // namespace quaylet
