#pragma once

// Why a file did not reach the service, in words, from the API result code
// its upload ended with. The uploader's report and the history window say
// it alike.

#include <string>

namespace quaylet {

// E.g. "the account's photo limit is reached"; empty for 1 (uploaded).
std::string ResultReason(int result);

} // namespace quaylet
