#include "window/uploadspeed.h"

#include "core/settings.h"
#include "window/menucommands.h"

#include <algorithm>

namespace quaylet {

namespace {

constexpr const char* kSettingName = "UploadSpeedLimit";
constexpr uint64_t kBytesPerMegabit = 1000000 / 8;

constexpr UploadSpeedChoice kChoices[] = {
    {MenuCommand::kUploadSpeedUnlimited, "Unlimited", 0},
    {MenuCommand::kUploadSpeed8Mbit, "8 Mbit/s", 8 * kBytesPerMegabit},
    {MenuCommand::kUploadSpeed4Mbit, "4 Mbit/s", 4 * kBytesPerMegabit},
    {MenuCommand::kUploadSpeed2Mbit, "2 Mbit/s", 2 * kBytesPerMegabit},
    {MenuCommand::kUploadSpeed1Mbit, "1 Mbit/s", kBytesPerMegabit},
    {MenuCommand::kUploadSpeedHalfMbit, "0.5 Mbit/s", kBytesPerMegabit / 2},
};

} // namespace

std::span<const UploadSpeedChoice> UploadSpeedChoices()
{
    return kChoices;
}

const UploadSpeedChoice* UploadSpeedOfCommand(int command)
{
    const auto* choice = std::find_if(std::begin(kChoices), std::end(kChoices),
                                      [command](const UploadSpeedChoice& c) { return c.command == command; });
    return choice == std::end(kChoices) ? nullptr : choice;
}

uint64_t StoredUploadSpeed()
{
    const int32_t stored = GetSettingInt(kSettingsSection, kSettingName, 0);
    const bool known = std::any_of(std::begin(kChoices), std::end(kChoices), [stored](const UploadSpeedChoice& c) {
        return stored >= 0 && c.bytesPerSecond == static_cast<uint64_t>(stored);
    });
    return known ? static_cast<uint64_t>(stored) : 0;
}

void StoreUploadSpeed(uint64_t bytesPerSecond)
{
    SetSettingInt(kSettingsSection, kSettingName, static_cast<int32_t>(bytesPerSecond));
}

} // namespace quaylet
