#include "engine/TableLock.h"

#include "engine/Config.h"
#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "paradox/DirectoryListing.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace engine {

std::uint16_t TableLock::Acquire(const std::filesystem::path& db, Mode mode,
                                 std::unique_ptr<TableLock>& out) {
    out.reset();
    // O_NONBLOCK keeps a FIFO under the table's name from holding the open.
    posix::FileDescriptor fd = posix::TryOpen(db, O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (!fd.IsOpen()) {
        const int error = errno;
        if (error == ENOENT) {
            return Fail(err::TableMissing, db.string());
        }
        if (error == EACCES) {
            return Fail(err::NoPermission, "cannot open " + db.string());
        }
        return Fail(err::IoError, "cannot open " + db.string() + ": " + std::strerror(error));
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return Fail(err::NotATable, db.string() + " is not a regular file");
    }
    // flock locks belong to the open file description, so two opens conflict even within
    // one process; they also need no write access to the file.
    const int operation = (mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    int result = 0;
    do {
        result = ::flock(fd.Get(), operation);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            return Fail(err::TableInUse, db.string() + " is opened by another user of the engine");
        }
        return Fail(err::IoError, "cannot lock " + db.string() + ": " + std::strerror(error));
    }
    // A rebuild that finished while this open waited has put a new file under the name: the
    // lock taken is on the old one and guards nothing.
    struct stat current {};
    if (::stat(db.c_str(), &current) != 0 || current.st_ino != info.st_ino ||
        current.st_dev != info.st_dev) {
        return Fail(err::TableInUse, db.string() + " was replaced while it was being opened");
    }
    out = std::make_unique<TableLock>(Key{}, std::move(fd), mode);
    return err::Ok;
}

std::string ForeignLockFile(const std::filesystem::path& db) {
    const auto listing = paradox::ListDirectory(db.parent_path());
    for (const std::string& lockName :
         {std::string("PARADOX.LCK"), std::string("PDOXUSRS.LCK"), db.stem().string() + ".LCK"}) {
        if (std::string found = listing->FindIgnoringCase(lockName); !found.empty()) {
            return found;
        }
    }
    return {};
}

} // namespace engine
