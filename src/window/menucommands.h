#pragma once

// The command ids of the client's menu, as the window reports them.

namespace quaylet::MenuCommand {

inline constexpr int kLogout = 32771;
inline constexpr int kAlwaysOnTop = 32774;
inline constexpr int kLaunchOnStartup = 32791;
inline constexpr int kShowNotifications = 32792;
inline constexpr int kAbout = 32793;
inline constexpr int kExit = 1;
// Opens the file chooser; the window menu's own addition.
inline constexpr int kAddFiles = 32810;
inline constexpr int kPauseUploads = 32811;
// Opens the upload history; the window menu's own addition.
inline constexpr int kUploadHistory = 32812;

} // namespace quaylet::MenuCommand
