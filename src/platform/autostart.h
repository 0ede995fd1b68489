#pragma once

// The client's entry in the desktop's autostart folder,
// $XDG_CONFIG_HOME/autostart/GlimmerlyUtility.desktop: while it exists the
// desktop starts the client hidden ("/s") at log-in.

#include <string>

namespace quaylet::platform {

class AutostartEntry final {
public:
    // The folder from $XDG_CONFIG_HOME, else ~/.config.
    AutostartEntry();
    // configHome: the folder that holds (or will hold) "autostart".
    explicit AutostartEntry(std::string configHome);

    bool exists() const;
    // Writes the entry atomically, creating the autostart folder when missing;
    // its Exec line starts programPath (absolute, UTF-8) with " /s". False when
    // nothing could be written (the old entry, if any, is then unchanged).
    bool write(const std::string& programPath);
    // True when the entry is gone afterwards (also when there was none).
    bool remove();
    std::string path() const;

private:
    std::string m_configHome;
};

} // namespace quaylet::platform
