#include "credentials/passwordkeyring.h"

#include "core/logfile.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace quaylet {

namespace {

struct KeyringChoice {
    std::mutex mutex;
    bool chosen = false;                    // guarded by mutex
    std::unique_ptr<PasswordKeyring> owned; // guarded by mutex; kept until the process ends
    std::atomic<PasswordKeyring*> active{nullptr};
    std::atomic<bool> readsStopped{false};
};

KeyringChoice& Choice()
{
    static KeyringChoice choice;
    return choice;
}

bool FileStoreForced()
{
    const char* store = std::getenv("QUAYLET_CREDENTIAL_STORE");
    return store != nullptr && std::strcmp(store, "file") == 0;
}

} // namespace

std::string KeyringAccount(std::string_view userName, std::string_view siteAddress)
{
    std::string account(userName);
    account += '@';
    account += siteAddress;
    return account;
}

PasswordKeyring* CredentialKeyring()
{
    KeyringChoice& choice = Choice();
    std::lock_guard lock(choice.mutex);
    if (!choice.chosen) {
        choice.chosen = true;
        if (FileStoreForced()) {
            WriteLog(LogTrace, "Credentials: QUAYLET_CREDENTIAL_STORE=file, the password is kept in the settings file");
        } else {
            if (!choice.owned)
                choice.owned = MakeDesktopKeyring();
            choice.active = choice.owned.get();
        }
    }
    return choice.active;
}

void DropCredentialKeyring(const std::string& reason)
{
    KeyringChoice& choice = Choice();
    std::lock_guard lock(choice.mutex);
    choice.chosen = true;
    // The object stays: another thread may still be inside one of its calls.
    if (choice.active.exchange(nullptr) != nullptr)
        WriteLog(LogMilestone, "Credentials: no keyring (%s), the password is kept in the settings file",
                 reason.c_str());
}

void StopKeyringReads()
{
    Choice().readsStopped = true;
}

bool KeyringReadsStopped()
{
    return Choice().readsStopped;
}

void SetCredentialKeyringForTesting(std::unique_ptr<PasswordKeyring> keyring)
{
    KeyringChoice& choice = Choice();
    std::lock_guard lock(choice.mutex);
    choice.readsStopped = false;
    choice.chosen = keyring == nullptr ? false : !FileStoreForced();
    choice.owned = std::move(keyring);
    choice.active = choice.chosen ? choice.owned.get() : nullptr;
}

} // namespace quaylet
