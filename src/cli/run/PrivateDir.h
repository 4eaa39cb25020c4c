#pragma once

#include "posix/FileDescriptor.h"

#include <string>

namespace cli {

// The batch program's private directory: $XDG_STATE_HOME/mendrix/priv, else
// ~/.local/state/mendrix/priv, made with mode 0700 where missing. Empty when there is no
// such place, or when what is there is not a folder of this user (a symlink included).
std::string BatchPrivateDir();

// One batch run's own private directory, run-XXXXXX inside BatchPrivateDir() (mode 0700), so
// that runs at the same time never read each other's error tables. It goes, with what it
// holds, when the object does; the folders of runs that were killed before removing theirs
// go when the next run begins.
class RunPrivateDir {
public:
    RunPrivateDir();
    ~RunPrivateDir();
    RunPrivateDir(const RunPrivateDir&) = delete;
    RunPrivateDir& operator=(const RunPrivateDir&) = delete;

    // Empty when there is none (no batch private directory, or it cannot be written).
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    posix::FileDescriptor held_; // locked while the run lasts: its folder is in use
};

} // namespace cli
