#include "skin/skinresources.h"

#include <QtCore/qglobal.h>

#include <mutex>

// The resource initialiser is declared at global scope, so it must be named from there.
static void RegisterSkinResourcesOnce()
{
    Q_INIT_RESOURCE(skinresources);
}

namespace quaylet {

void RegisterSkinResources()
{
    static std::once_flag once;
    std::call_once(once, RegisterSkinResourcesOnce);
}

} // namespace quaylet
