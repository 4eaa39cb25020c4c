#pragma once

#include <array>
#include <streambuf>

namespace cli {

// A buffered output stream buffer over an open file descriptor it does not own, for outputs
// that are written in place (a device, a FIFO). A failed write makes the stream fail.
class DescriptorOutputBuffer : public std::streambuf {
public:
    explicit DescriptorOutputBuffer(int fd);

    // The system's error number of the first write that failed; 0 while none has.
    int WriteError() const { return writeError_; }

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool Drain();

    int fd_;
    int writeError_ = 0;
    std::array<char, 65536> buffer_{};
};

} // namespace cli
