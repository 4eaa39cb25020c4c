#pragma once

#include "paradox/Finding.h"
#include "paradox/TableReader.h"

namespace paradox {

// Keyed tables: records must ascend by key along the chain, and no key may repeat. Keys that
// include an Alpha field are ordered by the table's collation, which is not known here: for
// them only repeated keys are reported (compared as the text before the terminating NUL).
void CheckKeyOrder(const TableReader& table, FindingList& findings);

// Values no writer produces: a Logical byte other than 00/80/81, a Date outside 9999 BC to 9999 AD,
// a Time outside one day. Reported as suspicious.
void CheckRecordValues(const TableReader& table, FindingList& findings);

} // namespace paradox
