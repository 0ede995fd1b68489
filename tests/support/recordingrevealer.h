#pragma once

// A file revealer that records the paths it is asked to show instead of
// asking the desktop.

#include "platform/filereveal.h"

#include <string>
#include <vector>

namespace quaylet::test {

class RecordingRevealer final : public platform::IFileRevealer {
public:
    explicit RecordingRevealer(std::vector<std::string>& shown) : m_shown(shown) {}
    void reveal(const std::string& path) override { m_shown.push_back(path); }

private:
    std::vector<std::string>& m_shown;
};

} // namespace quaylet::test
