#pragma once

// The sign-in call "User.login": whether a user name and password hash are
// accepted by the service.

#include <string>

namespace quaylet {

// Returns 1 when the service reported success, -4 otherwise. errorText is
// emptied first and then holds the reply's "errors" text, if it had one.
// Blocks the calling thread for the exchange.
int HTTPMethodLogin(const std::string& userName, const std::string& passwordHash, std::string& errorText);

} // namespace quaylet
