#pragma once

// Why a command-line path queued nothing, in words.

#include <string>

namespace quaylet {

std::string SkipReason(const std::string& path);

} // namespace quaylet
