#pragma once

// The notification request: asks the service whether it has a notification
// for the user and fills the record with it.

#include "api/toastrecord.h"

#include <string>

namespace quaylet {

// 1 when the reply carried a title (the record is then filled), -4 otherwise
// (the fields this call writes are left as they were).
int HTTPMethodGetToast(const std::string& userName, ToastRecord& record);

} // namespace quaylet
