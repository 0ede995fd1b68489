#include "queuestore/resultreason.h"

namespace quaylet {

std::string ResultReason(int result)
{
    switch (result) {
    case 1:
        return {};
    case -3:
        return "the service already holds this file";
    case -5:
        return "the service asks for a premium account";
    case -6:
        return "the account's photo limit is reached";
    case -7:
        return "the account's video limit is reached";
    case -8:
        return "it could not be sent (network or file error)";
    case 0:
        return "cancelled";
    default:
        return "the service refused it or its reply was not understood";
    }
}

} // namespace quaylet
