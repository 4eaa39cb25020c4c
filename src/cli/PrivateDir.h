#pragma once

#include <string>

namespace cli {

// The batch program's private directory: $XDG_STATE_HOME/mendrix/priv, else
// ~/.local/state/mendrix/priv, made with mode 0700 where missing. Empty when there is no
// such place, or when what is there is not a folder of this user (a symlink included).
std::string BatchPrivateDir();

} // namespace cli
