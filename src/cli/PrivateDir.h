#pragma once

#include <memory>
#include <string>

namespace engine {
class Session;
}

namespace cli {

// The batch program's private directory: $XDG_STATE_HOME/mendrix/priv, else
// ~/.local/state/mendrix/priv, made with mode 0700 where missing. Empty when there is no
// such place, or when what is there is not a folder of this user (a symlink included).
std::string BatchPrivateDir();

// An engine session, current while the object lives, whose private directory is
// BatchPrivateDir() (none when that is empty): the utility writes its error tables there.
class BatchSession {
public:
    BatchSession();
    ~BatchSession();
    BatchSession(const BatchSession&) = delete;
    BatchSession& operator=(const BatchSession&) = delete;
    const std::string& PrivateDir() const { return privateDir_; }

private:
    std::shared_ptr<engine::Session> session_;
    std::string privateDir_;
};

} // namespace cli
