#pragma once

#include <cstdint>
#include <string>

namespace platform {

class TSession;

// One record of the engine's list of configured databases, its texts read up to their
// terminating zero and never past their field.
struct TDatabaseListEntry {
    std::string name; // up to 32 characters
    std::string path;
    std::string type; // "STANDARD" for a directory of Paradox tables
};

// The engine's list of the databases that one session sees, in the engine's order, read
// record by record. Opening and closing raise EDBEngineError; the end of the list, or any
// other answer of the engine to a request for the next record, ends the reading. The
// session must outlive the list.
class TDatabaseList {
public:
    explicit TDatabaseList(TSession& session);
    // Closes a list that Close() did not; a failure there is not reported.
    ~TDatabaseList();
    TDatabaseList(const TDatabaseList&) = delete;
    TDatabaseList& operator=(const TDatabaseList&) = delete;

    // False once the engine answers with a nonzero status (that status is not reported).
    bool Next(TDatabaseListEntry& entry);
    // Closes the list; a failure is raised.
    void Close();

private:
    std::uint32_t cursor_ = 0;
};

} // namespace platform
