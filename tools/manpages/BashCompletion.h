#pragma once

#include <string>

namespace manpages {

// The bash completion of mendrix-cli, made from the command table: the commands, each
// command's options and the choices of its options, table files (*.db, *.DB) and folders for
// table and target arguments, any file for a FILE value.
std::string CliBashCompletion();

} // namespace manpages
