// A client process with a stand-in main window, for the session-end tests.
// Its first argument chooses where the signal finds the window:
//   signin  the window's start-up sign-in, before its event loop: it waits on
//           the quit request (as a blocked network call would), then runs its
//           loop like any window and is closed from there;
//   loop    the window's event loop.
// The stand-in writes what it sees to the log.

#include "app/clientapp.h"
#include "core/logfile.h"
#include "platform/interruptwatch.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <chrono>
#include <cstring>

using namespace quaylet;

namespace {

class StandInWindow final : public IMainWindow {
public:
    StandInWindow(const MainWindowStart& start, bool signInFirst)
        : m_quitRequested(*start.quitRequested), m_signInFirst(signInFirst)
    {
    }

    void activate() override {}
    void queuePaths(const std::vector<std::string>&) override {}

    void requestClose() override
    {
        const bool onWindowThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        WriteLog(LogTrace, "stand-in: close requested on the %s thread", onWindowThread ? "window" : "wrong");
        m_loop.quit();
    }

    int run() override
    {
        if (m_signInFirst) {
            WriteLog(LogTrace, "stand-in: signing in");
            const bool interrupted = m_quitRequested.wait(std::chrono::milliseconds(20000));
            WriteLog(LogTrace, "stand-in: sign-in %s", interrupted ? "interrupted" : "timed out");
        }
        WriteLog(LogTrace, "stand-in: running");
        m_loop.exec();
        return 0;
    }

private:
    const platform::Event& m_quitRequested;
    bool m_signInFirst;
    QEventLoop m_loop;
};

} // namespace

int main(int argc, char* argv[])
{
    platform::InterruptWatch sessionEnd;
    QCoreApplication application(argc, argv);
    const bool signInFirst = argc > 1 && std::strcmp(argv[1], "signin") == 0;
    CKestrelioClientApp client(
        {},
        [signInFirst](const MainWindowStart& start) { return std::make_unique<StandInWindow>(start, signInFirst); },
        &sessionEnd);
    return client.run();
}
