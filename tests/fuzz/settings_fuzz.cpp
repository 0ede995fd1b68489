// The settings store: the input is the store's file; every setting the client
// reads is read from it, the window placement record decoded, and a write
// tried, which must leave a damaged store as it was.

#include "core/settings.h"
#include "core/windowplacement.h"
#include "fuzzsupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

std::string StorePath()
{
    return quaylet::fuzz::ScratchPath("config/Glimmerly/Glimmerly.conf");
}

std::string ReadStore()
{
    std::ifstream in(StorePath(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Qt keeps parsed stores and trusts them while the file's time and size stay
// the same, which two inputs written within one tick would share.
void GiveStoreNewTime()
{
    static long long tick = 0;
    ++tick;
    const timespec times[2] = {{tick, 0}, {tick, 0}};
    ::utimensat(AT_FDCWD, StorePath().c_str(), times, 0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::filesystem::create_directories(quaylet::fuzz::ScratchPath("config/Glimmerly"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    using namespace quaylet;
    const std::string_view bytes = fuzz::AsText(data, size);
    fuzz::WriteInput(StorePath(), bytes);
    GiveStoreNewTime();

    for (const char* name : {"AlwaysOnTop", "LogMask", "LogSize", "NotificationPollInterval", "ShowNotifications",
                             "Transparency"})
        GetSettingInt(kSettingsSection, name, 7);
    GetSettingString(kSettingsSection, "LastComment", "");
    if (const auto record = GetSettingBinary(kSettingsSection, "WindowPlacement"))
        DecodePlacement(*record);
    HasSetting(kSettingsSection, "LastComment");

    SetSettingInt(kSettingsSection, "Transparency", 55);
    if (bytes.find('\0') != std::string_view::npos && ReadStore() != bytes)
        std::abort(); // a damaged store was written over
    return 0;
}
