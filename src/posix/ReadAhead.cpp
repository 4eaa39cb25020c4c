#include "posix/ReadAhead.h"

#include "posix/FileDescriptor.h"

#include <fcntl.h>

namespace posix {

void ReadAhead(const std::filesystem::path& file, std::uint64_t most) {
    // O_NONBLOCK: a FIFO planted under a member's name must not hold the open.
    const FileDescriptor fd = TryOpen(file, O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd.IsOpen()) {
        ::posix_fadvise(fd.Get(), 0, static_cast<off_t>(most), POSIX_FADV_WILLNEED);
    }
}

} // namespace posix
