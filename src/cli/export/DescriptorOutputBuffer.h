#pragma once

#include <array>
#include <streambuf>

namespace cli {

// A buffered output stream buffer over an open file descriptor it does not own, for outputs
// that are written in place (a device, a FIFO). A failed write makes the stream fail.
class DescriptorOutputBuffer : public std::streambuf {
public:
    explicit DescriptorOutputBuffer(int fd);

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool Drain();

    int fd_;
    std::array<char, 65536> buffer_{};
};

} // namespace cli
