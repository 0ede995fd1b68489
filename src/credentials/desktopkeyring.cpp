#include "credentials/passwordkeyring.h"

#include "core/queuedcall.h"
#include "platform/internet.h"

#include <qt6keychain/keychain.h>

#include <QCoreApplication>
#include <QThread>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace quaylet {

namespace {

KeyringReply::Status StatusOf(QKeychain::Error error)
{
    switch (error) {
    case QKeychain::NoError:
        return KeyringReply::Done;
    case QKeychain::EntryNotFound:
        return KeyringReply::Missing;
    case QKeychain::AccessDeniedByUser:
    case QKeychain::AccessDenied:
    case QKeychain::CouldNotDeleteEntry:
        return KeyringReply::Refused;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
    case QKeychain::OtherError:
        break;
    }
    return KeyringReply::Unavailable;
}

// One call's answer, shared by the caller and the keyring thread: a caller
// that gave up leaves it to the job.
struct PendingReply {
    std::mutex lock;
    std::condition_variable answered;
    bool done = false;  // guarded by lock
    KeyringReply reply; // guarded by lock
};

// Every job runs on one thread of the keyring's own with an event loop: the
// keyring library binds its connection to the thread that first used it, and
// an unlock prompt may keep a job waiting for as long as the user likes.
class DesktopKeyring final : public PasswordKeyring {
public:
    DesktopKeyring()
    {
        m_thread.setObjectName(QStringLiteral("keyring"));
        m_home.moveToThread(&m_thread);
        m_thread.start();
    }

    ~DesktopKeyring() override
    {
        // Jobs still waiting for a prompt end with the loop.
        m_thread.quit();
        m_thread.wait();
    }

    DesktopKeyring(const DesktopKeyring&) = delete;
    DesktopKeyring& operator=(const DesktopKeyring&) = delete;

    KeyringReply read(const std::string& account) override
    {
        return run([account] {
            auto job = std::make_unique<QKeychain::ReadPasswordJob>(Service());
            job->setKey(Key(account));
            return std::unique_ptr<QKeychain::Job>(std::move(job));
        });
    }

    KeyringReply write(const std::string& account, const std::string& password) override
    {
        return run([account, password] {
            auto job = std::make_unique<QKeychain::WritePasswordJob>(Service());
            job->setKey(Key(account));
            job->setTextData(QString::fromStdString(password));
            return std::unique_ptr<QKeychain::Job>(std::move(job));
        });
    }

    KeyringReply remove(const std::string& account) override
    {
        return run([account] {
            auto job = std::make_unique<QKeychain::DeletePasswordJob>(Service());
            job->setKey(Key(account));
            return std::unique_ptr<QKeychain::Job>(std::move(job));
        });
    }

private:
    static QString Service() { return QString::fromLatin1(kKeyringService); }
    static QString Key(const std::string& account) { return QString::fromStdString(account); }

    // Starts the job on the keyring thread and waits for its answer, or for
    // the calling thread's abort check.
    KeyringReply run(std::function<std::unique_ptr<QKeychain::Job>()> makeJob)
    {
        if (QCoreApplication::instance() == nullptr)
            return {.status = KeyringReply::Unavailable, .reason = "no application object"};
        auto pending = std::make_shared<PendingReply>();
        QMetaObject::invokeMethod(
            &m_home,
            QueuedCall([pending, makeJob = std::move(makeJob)] {
                std::unique_ptr<QKeychain::Job> job = makeJob();
                job->setAutoDelete(true);
                job->setInsecureFallback(false);
                QObject::connect(job.get(), &QKeychain::Job::finished, [pending](QKeychain::Job* done) {
                    KeyringReply reply;
                    reply.status = StatusOf(done->error());
                    if (reply.status != KeyringReply::Done && reply.status != KeyringReply::Missing)
                        reply.reason = done->errorString().toStdString();
                    if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done); read && reply.status == KeyringReply::Done)
                        reply.password = read->textData().toStdString();
                    std::lock_guard guard(pending->lock);
                    pending->reply = std::move(reply);
                    pending->done = true;
                    pending->answered.notify_all();
                });
                // From here on the job owns itself.
                job.release()->start();
            }),
            Qt::QueuedConnection);
        std::unique_lock guard(pending->lock);
        while (!pending->answered.wait_for(guard, platform::kAbortPollInterval, [&] { return pending->done; })) {
            if (platform::ThreadAbortRequested())
                return {.status = KeyringReply::Aborted};
        }
        return std::move(pending->reply);
    }

    QThread m_thread;
    QObject m_home; // lives on m_thread: the jobs' thread
};

} // namespace

std::unique_ptr<PasswordKeyring> MakeDesktopKeyring()
{
    return std::make_unique<DesktopKeyring>();
}

} // namespace quaylet
