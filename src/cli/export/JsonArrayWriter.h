#pragma once

#include <iosfwd>
#include <nlohmann/json.hpp>

namespace cli {

// A JSON array written one element at a time, each on a line of its own, so that a table of
// any size needs the memory of one record.
class JsonArrayWriter {
public:
    explicit JsonArrayWriter(std::ostream& out);

    // Throw std::runtime_error when the stream fails.
    void Add(const nlohmann::ordered_json& element);
    void Finish();

private:
    std::ostream& out_;
    bool empty_ = true;
};

} // namespace cli
