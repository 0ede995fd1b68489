#pragma once

// Everything the service serves besides the API: the small HTML pages the
// client opens in a browser (home and account creation, account pages, the
// premium upgrade, the e-mail page, help, the download page), the version
// file and the notification pictures.

#include "devserver/config.h"

#include <optional>
#include <string>

namespace quaylet::devserver {

struct Page {
    int status = 200;
    std::string contentType;
    std::string body;
    std::string location; // a redirect's target, absolute
};

// The page for a GET of path (without the query); query is the raw query text.
// Unknown paths give a 404 page.
Page ServePage(const DevConfig& config, const std::string& origin, const std::string& path, const std::string& query);

// "major|minor|download address".
std::string VersionFileText(const DevConfig& config, const std::string& origin);

// The built-in notification picture (a small PNG).
const std::string& DefaultToastPicture();

} // namespace quaylet::devserver
