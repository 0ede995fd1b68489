#pragma once

// The "Upload Speed" choices of the client's menus and the one kept in the
// settings ("UploadSpeedLimit": bytes per second, 0 for Unlimited), which
// survives a restart. A choice reaches the network layer as the send rate
// limit of the sessions made after it: an upload under way keeps its rate.

#include <cstdint>
#include <span>

namespace quaylet {

struct UploadSpeedChoice {
    int command;             // its MenuCommand id
    const char* text;        // the menu item
    uint64_t bytesPerSecond; // 0: no limit
};

// Unlimited first, then from the fastest down. A Mbit/s is 1,000,000 bits per
// second, so 8 Mbit/s is 1,000,000 bytes per second.
std::span<const UploadSpeedChoice> UploadSpeedChoices();

// The choice a menu command stands for; nullptr for any other command.
const UploadSpeedChoice* UploadSpeedOfCommand(int command);

// The stored choice; a stored value that is none of the choices reads as
// Unlimited.
uint64_t StoredUploadSpeed();
void StoreUploadSpeed(uint64_t bytesPerSecond);

} // namespace quaylet
