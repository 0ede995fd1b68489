#pragma once

// The desktop's keyring (the Secret Service, or KWallet) as the home of the
// client's own password: the item's service is "Glimmerly" and its account
// "<user name>@<site address>", the site address being one of the fixed
// scrambling addresses of api/endpoints.h. The settings file then keeps only
// the user name.
//
// Every call blocks until the keyring answers, which may take as long as the
// user leaves an unlock prompt open: never call from the window thread. A
// wait ends early, as Aborted, when the calling thread's internet abort check
// (platform::ScopedInternetAbort) answers true, so a quit is never held up.

#include <memory>
#include <string>
#include <string_view>

namespace quaylet {

struct KeyringReply {
    enum Status {
        Done,        // read, written or deleted
        Missing,     // no such item
        Refused,     // the user dismissed the unlock prompt, or access was denied
        Unavailable, // no keyring to talk to (no session bus, no service)
        Aborted,     // the caller's abort check ended the wait
    };
    Status status = Unavailable;
    std::string password; // a read's result
    std::string reason;   // why it failed, for the log (never a secret)
};

class PasswordKeyring {
public:
    virtual ~PasswordKeyring() = default;
    virtual KeyringReply read(const std::string& account) = 0;
    virtual KeyringReply write(const std::string& account, const std::string& password) = 0;
    virtual KeyringReply remove(const std::string& account) = 0;
};

inline constexpr const char* kKeyringService = "Glimmerly";

std::string KeyringAccount(std::string_view userName, std::string_view siteAddress);

// The keyring the credentials use, or nullptr for the settings file alone:
// when QUAYLET_CREDENTIAL_STORE=file, or once the keyring proved unavailable
// or refused a write in this process. Thread-safe.
PasswordKeyring* CredentialKeyring();

// Gives up the keyring for the rest of the process, writing one log line that
// says why; the settings file holds the password from then on.
void DropCredentialKeyring(const std::string& reason);

// A dismissed unlock prompt: no more reads are asked of the keyring during
// this process's start-up, so the user is not prompted again for each site.
void StopKeyringReads();
bool KeyringReadsStopped();

// Puts a keyring of the test's own in place (QUAYLET_CREDENTIAL_STORE=file
// still wins); nullptr goes back to choosing at the next CredentialKeyring().
void SetCredentialKeyringForTesting(std::unique_ptr<PasswordKeyring> keyring);

// The QtKeychain-backed keyring.
std::unique_ptr<PasswordKeyring> MakeDesktopKeyring();

} // namespace quaylet
