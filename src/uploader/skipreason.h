#pragma once

// Why a command-line path queued nothing, in words.

#include <string>

namespace quaylet {

// renameFailure: the intake's reason when it could not give the path a
// temporary name (empty when that was not the case).
std::string SkipReason(const std::string& path, const std::string& renameFailure);

} // namespace quaylet
