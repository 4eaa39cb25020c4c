#pragma once

#include "platform/TableResult.h"

#include <string>

namespace cli {

// Verifies the table at `tablePath` through the table utility as the repair engine does, but
// lets the utility write no error table: nothing is written anywhere. Gives the verdict the
// repair engine would give ("Verification unsuccessful." and the reason for a failed call)
// with the status and findings. The progress reports reach the installed table-status bars.
// Raises EDBEngineError when no utility session can be opened.
platform::VerifyResult VerifyWithoutErrorTable(const std::string& tablePath);

// Whether files can be made in the directory.
bool DirectoryWritable(const std::string& directory);

} // namespace cli
