#include "repair/TableStatusBars.h"

namespace repair {
namespace {

TableStatusBars*& Installed() {
    // Per thread: tables worked on at once on other threads report to no bars.
    thread_local TableStatusBars* installed = nullptr;
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
