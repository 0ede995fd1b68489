#pragma once

// Where "Quaylet.log" goes. It lies in the current directory, except when
// that is the user's home directory or cannot be written, as desktop
// launchers and autostart leave it: then in the user's state folder
// ($XDG_STATE_HOME/quaylet, else ~/.local/state/quaylet), so that a desktop
// start never drops its log into the home directory.

#include <string>

namespace quaylet {

struct WorkingDirFacts {
    bool isHome = false;
    bool writable = true;
    std::string stateHome; // $XDG_STATE_HOME as set; empty when unset
    std::string homeDir;   // the user's home; empty when unknown
};

// The folder for the log, or empty for the current directory. A relative
// $XDG_STATE_HOME is ignored, as the base-directory rules ask. Without any
// absolute folder to go to, the current directory is kept.
std::string ChooseLogFolder(const WorkingDirFacts& facts);

// The facts of this process's current directory and environment.
WorkingDirFacts CurrentWorkingDirFacts();

// The path to open the log under: fileName itself, or fileName in the state
// folder (created, 0700). When that folder cannot be made the current
// directory is used after all (and the log falls back to standard error there
// if it cannot be written).
std::string LogFilePath(const std::string& fileName);

} // namespace quaylet
