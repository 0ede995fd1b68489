#pragma once

// Showing a file to the user in the desktop's file manager: its folder opens
// with the file picked out. The file manager is asked over the session bus
// (org.freedesktop.FileManager1.ShowItems); where no such service answers,
// the folder alone is opened with the desktop's opener (xdg-open), given its
// file: address, started detached and without a shell.
//
// Threads: the thread that makes the revealer, which runs a Qt event loop;
// reveal() returns at once and the answer comes later on that loop.

#include <functional>
#include <memory>
#include <string>

class QObject;

namespace quaylet::platform {

enum class RevealedBy { FileManager, FolderOpener, Nothing };

class IFileRevealer {
public:
    virtual ~IFileRevealer() = default;
    // path: the file's bytes as the user named it.
    virtual void reveal(const std::string& path) = 0;
};

struct FileRevealerOptions {
    // The program that opens a folder, looked up on PATH.
    std::string folderOpener = "xdg-open";
    // How a reveal ended, once known; for tests and the log.
    std::function<void(const std::string& path, RevealedBy how)> done;
};

class DesktopFileRevealer final : public IFileRevealer {
public:
    explicit DesktopFileRevealer(FileRevealerOptions options = {});
    ~DesktopFileRevealer() override;
    DesktopFileRevealer(const DesktopFileRevealer&) = delete;
    DesktopFileRevealer& operator=(const DesktopFileRevealer&) = delete;

    void reveal(const std::string& path) override;

private:
    void openFolder(const std::string& path);
    void report(const std::string& path, RevealedBy how);

    FileRevealerOptions m_options;
    // Parent of the calls under way: they end with the revealer.
    std::unique_ptr<QObject> m_calls;
};

// The file: address of a path, its bytes percent-encoded as they are.
std::string FileAddress(const std::string& path);

} // namespace quaylet::platform
