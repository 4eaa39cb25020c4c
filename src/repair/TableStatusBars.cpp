#include "repair/TableStatusBars.h"

namespace repair {
namespace {

TableStatusBars*& Installed() {
    static TableStatusBars* installed = nullptr;
    return installed;
}

} // namespace

TableStatusBars* InstalledTableStatusBars() {
    return Installed();
}

ScopedTableStatusBars::ScopedTableStatusBars(TableStatusBars& bars) : previous_(Installed()) {
    Installed() = &bars;
}

ScopedTableStatusBars::~ScopedTableStatusBars() {
    Installed() = previous_;
}

} // namespace repair
