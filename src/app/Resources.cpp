#include "app/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares a function of the global namespace, so it is used out here.
static void InitAppResource() {
    Q_INIT_RESOURCE(app);
}

namespace app {

void LoadAppResources() {
    static const bool loaded = [] {
        InitAppResource();
        return true;
    }();
    (void)loaded;
}

} // namespace app
