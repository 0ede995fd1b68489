#include "core/stringtable.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace quaylet {

namespace {
// Sorted by number.
constexpr std::pair<int, const char*> kStrings[] = {
    {1015, "Help"},
    {1043, "Close"},
    {32771, "Logout"},
    {32774, "Always On Top"},
    {32791, "Launch On Startup"},
    {32792, "Show Notifications"},
    {32793, "&About"},
    {57344, "Glimmerly"},
    {57345, ""},
    {59138, "% d of %d"},
    {59139, "KestrelioClient"},
    {59141, "Upload Successful!"},
    {59142, "Click here to view"},
    {59143, "Quaylet cannot connect to the Internet"},
    {59144, "Please check your Internet connection and Firewall"},
    {59145, "Server under maintainance"},
    {59146, "Please try again later"},
    {59147, "Duplicate file"},
    {59148, "Media already exists on"},
    {59149, "Login and/or password incorrect"},
    {59150, "Please check to see if your login and password are both valid"},
    {59151, "Not a Premium user yet?"},
    {59152, "Upgrade to a Premium user for unlimited photo and video sharing."},
    {59153, "You're currently using version %u.%u of Quaylet. The newest version %u.%u is available "
            "online. Do you want to begin downloading?"},
    {59157, "Photo limit exceeded"},
    {59158, "Video limit exceeded"},
    {59159, "Ready"},
    {59160, "Resizing..."},
    {59161, "Encoding"},
    {59162, "Uploading"},
    {59163, "Uploaded"},
    {59164, "Trying..."},
    {59165, "Cancel upload"},
    {59166, "Launch Help"},
    {59167, "Minimize to tray"},
    {59168, "Menu"},
    {59171, "Invalid Movie Maker File!"},
    {59172, "Use Windows Movie Maker to save as Movie File"},
    {59173, "%s could not be uploaded."},
    {59174, "A file could not be uploaded."},
    {59180, "Paused"},
};
} // namespace

const char* LoadString(int id)
{
    auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                               [](const auto& entry, int key) { return entry.first < key; });
    return (it != std::end(kStrings) && it->first == id) ? it->second : "";
}

} // namespace quaylet
