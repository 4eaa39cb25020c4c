#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace engine {

// Names of the engine operations a test can make fail.
namespace op {
inline constexpr std::string_view ActivateSession = "ActivateSession";
inline constexpr std::string_view AddAlias = "AddAlias";
inline constexpr std::string_view DeleteAlias = "DeleteAlias";
inline constexpr std::string_view Connect = "Connect";
inline constexpr std::string_view GetTableNames = "GetTableNames";
inline constexpr std::string_view ReadIndexDefs = "ReadIndexDefs";
inline constexpr std::string_view OpenTable = "OpenTable";
inline constexpr std::string_view OpenDatabaseList = "OpenDatabaseList";
inline constexpr std::string_view GetNextRecord = "GetNextRecord";
inline constexpr std::string_view CloseCursor = "CloseCursor";
inline constexpr std::string_view GetDatabaseDesc = "GetDatabaseDesc";
inline constexpr std::string_view RegisterCallback = "RegisterCallback";
} // namespace op

// Test seam: the named operation fails with `code` (without doing anything) the next
// `times` times it runs, or every time when `times` is negative.
void InjectFault(std::string_view operation, std::uint16_t code, int times = -1);
void ClearFaults();

// Called by the engine at the start of an operation: the injected code (recorded as the
// failure, with a note that it was injected), or 0 to go on.
std::uint16_t TakeFault(std::string_view operation);

// Injects a fault for the lifetime of the object.
class ScopedFault {
public:
    ScopedFault(std::string_view operation, std::uint16_t code, int times = -1);
    ~ScopedFault();
    ScopedFault(const ScopedFault&) = delete;
    ScopedFault& operator=(const ScopedFault&) = delete;

private:
    std::string operation_;
};

} // namespace engine
