#include "posix/SystemError.h"

#include <string>
#include <system_error>

namespace posix {

void ThrowSystemError(int error, std::string_view what, const std::filesystem::path& file) {
    throw std::system_error(error, std::generic_category(),
                            std::string(what) + " " + file.string());
}

} // namespace posix
