#pragma once

#include "paradox/Finding.h"

#include <cstdint>

namespace engine {

// The error an open reports for a finding that stops it, as the code's openError column says.
// `fileDamage` is the error for damage of the file the finding is in (HeaderCorrupt for the
// table, IndexCorrupt for an index, BlobFileCorrupt for the blob file); most codes report it.
std::uint16_t OpenError(paradox::FindingCode code, std::uint16_t fileDamage);

// Damage stops an open; so does a suspicious finding whose row says it always stops one (an
// index that may be out of date: the engine does not search through an index it cannot trust
// to be current).
bool StopsOpen(const paradox::Finding& finding);

// The first finding that stops an open, or nullptr.
const paradox::Finding* FirstStop(const paradox::FindingList& findings);

// Fails with the open error and the line of the first finding that stops an open; Ok if none.
std::uint16_t FailOnFindings(const paradox::FindingList& findings, std::uint16_t fileDamage);

} // namespace engine
