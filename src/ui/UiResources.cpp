#include "ui/UiResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares a function of the global namespace, so it is used out here.
static void InitUiResource() {
    Q_INIT_RESOURCE(ui);
}

namespace ui {

void LoadUiResources() {
    static const bool loaded = [] {
        InitUiResource();
        return true;
    }();
    (void)loaded;
}

} // namespace ui
