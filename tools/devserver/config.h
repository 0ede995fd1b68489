#pragma once

// The development service's configuration: accounts, limits, the notification
// it hands out, the version file and fault options. Read from a small
// INI-style file (see the README for the format); without a file the built-in
// defaults apply.

#include "devserver/faults.h"

#include <optional>
#include <string>
#include <vector>

namespace quaylet::devserver {

struct Account {
    std::string name;
    std::string password;
    int premium = 0;          // the value "/user/premium" reports
    long photoLimit = -1;     // stored photos allowed; -1: no limit
    long videoLimit = -1;     // stored videos allowed; -1: no limit
    bool upgradeRequired = false; // every upload answers "needs a premium upgrade"
};

struct ToastConfig {
    bool present = false;
    std::string title;
    std::string name;
    std::string message;
    std::string href;    // "/..." is made absolute with the address the client used
    std::string src;     // explicit picture address; empty: the served picture
    std::string picture; // file served at /toast/<its file name>; empty: a built-in picture
    std::optional<int> poll = 30; // minutes; "poll =" with no value leaves the element out
};

struct DevConfig {
    std::vector<Account> accounts;
    ToastConfig toast;
    // Content of /binaries/version.txt: "major|minor|download address". A
    // download address starting with "/" is made absolute when served.
    int versionMajor = 1;
    int versionMinor = 0;
    std::string download = "/download.html";
    // A file whose bytes are served as they are instead (any line ends,
    // length or content a published file might have); empty: the fields.
    std::string versionFile;
    // When set, /binaries/version.txt answers 301 to this path (or address),
    // where the file is served instead, as after a move of the site.
    std::string versionMovedTo;
    std::string loginError = "Invalid username or password";
    FaultOptions faults;

    const Account* findAccount(const std::string& name) const;
};

// alice / wonderland (free, 100 photos, 10 videos) and bob / builder (premium,
// no limits), a notification, version 1.0.
DevConfig DefaultConfig();

// Reads the file; on failure returns nothing and sets the error ("file:line: why").
std::optional<DevConfig> LoadConfig(const std::string& path, std::string& error);
std::optional<DevConfig> ParseConfig(const std::string& text, const std::string& baseDir, std::string& error);

} // namespace quaylet::devserver
