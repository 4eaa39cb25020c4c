#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tutil {

// A library operation that could not run at all, with the engine code the entry point
// returns for it.
class UtilityError : public std::runtime_error {
public:
    UtilityError(std::uint16_t code, const std::string& what)
        : std::runtime_error(what), code_(code) {}
    std::uint16_t Code() const { return code_; }

private:
    std::uint16_t code_;
};

} // namespace tutil
