#pragma once

// The account information call (method "User.getInfo"): whether the user has
// a premium account. Blocking; runs on the transfer thread between files.

#include <string>

namespace quaylet {

// 1 when "/user/premium" was read (premium then holds its integer value), -4
// otherwise with premium left as the caller set it.
int HTTPMethodGetInfo(const std::string& userName, int& premium);

// The transfer thread's view: the premium value when the service answered,
// else 0. Non-zero means premium.
int FetchPremiumFlag(const std::string& userName);

} // namespace quaylet
