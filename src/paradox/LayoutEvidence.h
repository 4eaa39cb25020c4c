#pragma once

#include "paradox/ByteView.h"
#include "paradox/Finding.h"
#include "paradox/Header.h"

#include <string>

namespace paradox {

// A table header's header size, block size code and key, checked against the file they
// describe: the header size inside the file and not before the end of the field descriptors
// (level 3.0: exactly there), the declared blocks inside the file, and the first blocks of the
// chain linked up under them. When that fails and another header size, block size or (for a
// header that keeps no key) key gives a chain from block 1 that agrees with the header's block
// and record counts, `header` takes those values and a Damage finding names the field that
// did not fit. A header size or block size that cannot be right at all gives way to the
// longest consistent chain even without that agreement. Otherwise `header` stays as stored.
// `file` is the whole file as stored; `header` must describe its fields (record size valid).
void SettleBlockLayout(TableHeader& header, ByteView file, const std::string& fileName,
                       FindingList& findings);

} // namespace paradox
