#pragma once

// The notification ("toast") the service has for the user, as the last poll
// found it. Written and read on the transfer thread only.

#include <cstdint>
#include <optional>
#include <string>

namespace quaylet {

struct ToastRecord {
    bool plain = true; // false when the title announces a new upload
    std::string title;
    std::string imageAddress;
    std::string name;
    std::string message;
    std::string link;
    std::string localImagePath;
    // Minutes between polls the service asks for; nothing when the reply had no "poll".
    std::optional<int32_t> pollPeriod;
    std::string reply; // the whole reply, compared with the last one stored

    // Empties every text before a poll; the poll period stays.
    void clearTexts()
    {
        plain = true;
        title.clear();
        imageAddress.clear();
        name.clear();
        message.clear();
        link.clear();
        localImagePath.clear();
        reply.clear();
    }
};

} // namespace quaylet
