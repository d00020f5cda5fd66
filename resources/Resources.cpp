#include "resources/Resources.h"

#include <QtCore/qglobal.h>

#include <mutex>

// Q_INIT_RESOURCE declares a function of the global namespace, so it must not be used inside vx.
static void RegisterPictures() {
    Q_INIT_RESOURCE(pictures);
}

namespace vx {

void InitPictureResources() {
    static std::once_flag once;
    std::call_once(once, RegisterPictures);
}

}  // namespace vx
