#include "credentials/passwordkeyring.h"

#include "platform/internet.h"

#include <qt6keychain/keychain.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <memory>
#include <type_traits>
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

// Runs one job to its end on the calling thread's own event loop (a worker
// thread's, never the window's). The job deletes itself once finished, also
// when the wait was abandoned: the keyring may answer a prompt much later.
template <typename Job>
KeyringReply Run(std::unique_ptr<Job> job)
{
    KeyringReply reply;
    if (QCoreApplication::instance() == nullptr) {
        reply.reason = "no application object";
        return reply;
    }
    reply.status = KeyringReply::Aborted;
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    QEventLoop loop;
    QObject::connect(job.get(), &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
        reply.status = StatusOf(done->error());
        if (reply.status != KeyringReply::Done && reply.status != KeyringReply::Missing)
            reply.reason = done->errorString().toStdString();
        if constexpr (std::is_same_v<Job, QKeychain::ReadPasswordJob>)
            if (reply.status == KeyringReply::Done)
                reply.password = static_cast<QKeychain::ReadPasswordJob*>(done)->textData().toStdString();
        loop.quit();
    });
    QTimer abortPoll;
    QObject::connect(&abortPoll, &QTimer::timeout, &loop, [&] {
        if (platform::ThreadAbortRequested())
            loop.quit();
    });
    abortPoll.start(static_cast<int>(platform::kAbortPollInterval.count()));
    // From here on the job owns itself.
    job.release()->start();
    loop.exec();
    return reply;
}

class DesktopKeyring final : public PasswordKeyring {
public:
    KeyringReply read(const std::string& account) override
    {
        auto job = std::make_unique<QKeychain::ReadPasswordJob>(Service());
        job->setKey(Key(account));
        return Run(std::move(job));
    }

    KeyringReply write(const std::string& account, const std::string& password) override
    {
        auto job = std::make_unique<QKeychain::WritePasswordJob>(Service());
        job->setKey(Key(account));
        job->setTextData(QString::fromStdString(password));
        return Run(std::move(job));
    }

    KeyringReply remove(const std::string& account) override
    {
        auto job = std::make_unique<QKeychain::DeletePasswordJob>(Service());
        job->setKey(Key(account));
        return Run(std::move(job));
    }

private:
    static QString Service() { return QString::fromLatin1(kKeyringService); }
    static QString Key(const std::string& account) { return QString::fromStdString(account); }
};

} // namespace

std::unique_ptr<PasswordKeyring> MakeDesktopKeyring()
{
    return std::make_unique<DesktopKeyring>();
}

} // namespace quaylet
