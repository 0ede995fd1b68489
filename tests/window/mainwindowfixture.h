#pragma once

// A drop window made for a test: signed in against the development service
// with a demo account, its tray a recorder, its pages caught before any
// browser starts, its dialogs answered by the test.

#include "devserver/devserverprocess.h"
#include "recordingtray.h"
#include "window/mainwindow.h"

#include <QDialog>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quaylet::test {

// Processes events until the condition holds; false when the time ran out.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(60));

// A JPEG photo at path (parent folders made).
void WritePhoto(const std::string& path, int seed = 0);
// A text/uri-list for the paths, each percent-encoded byte for byte.
QByteArray UriList(const std::vector<std::string>& paths);

struct ServiceAccount {
    int photoLimit = 100;
    bool premium = false;
};

class MainWindowFixture {
public:
    explicit MainWindowFixture(ServiceAccount account = {}, const std::vector<std::string>& faults = {});
    ~MainWindowFixture();

    // Stores the demo account's credentials, as a previous sign-in would have.
    void StoreCredentials();
    // Makes the window; seams not set by the test are filled in here.
    std::unique_ptr<CKestrelioClientDlg> MakeWindow(MainWindowSeams seams = {}, bool visible = true);

    // Uploads the service has stored so far.
    int StoredUploads() const;
    std::string Log() const;

    DevServerProcess& server() { return *m_server; }
    RecordingTrayIcon* tray = nullptr; // the last window's
    std::vector<std::string> openedPages;
    std::vector<std::string> dialogsRun; // class names, in order
    int firstShowings = 0;               // the update check's moment
    // Answers each dialog; default: Rejected for the sign-in dialog, and the
    // upload-completed dialog ends at once with Accepted.
    std::function<int(QDialog&)> answerDialog;
    static constexpr const char* kUser = "demo";
    static constexpr const char* kPassword = "demo-password";

private:
    std::string m_dataDir;
    std::unique_ptr<DevServerProcess> m_server;
};

} // namespace quaylet::test
