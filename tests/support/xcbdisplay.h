#pragma once

#include <string>

namespace quaylet::test {

// Empty when the tests run on a private X server; otherwise why they cannot.
const std::string& XcbUnavailable();

} // namespace quaylet::test
