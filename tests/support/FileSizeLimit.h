#pragma once

#include <sys/resource.h>

namespace testsupport {

// Makes writes beyond `bytes` fail with EFBIG, as a full disk would, for the scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

} // namespace testsupport
