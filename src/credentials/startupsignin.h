#pragma once

// The start-up sign-in shared by the main window and the headless uploader:
// credential sources are tried in order until one yields valid credentials,
// which are then signed in with. The stored-credential sources are the first
// three; the browser-cookie sources of another module are appended by the
// caller.

#include "credentials/profile.h"

#include <functional>
#include <string>
#include <vector>

namespace quaylet {

using CredentialSource = std::function<bool(CProfile&)>;

// LoadCredentials with the current, the bare and the earlier site address
// (always the fixed addresses: they are the scrambling keys).
std::vector<CredentialSource> StoredCredentialSources();

struct StartupSignInResult {
    bool found = false;  // a source yielded credentials
    int signIn = -4;     // SignInWithProfile's result when found
    std::string errorText;
    bool signedIn() const { return found && signIn == 1; }
};

// Writes "CKestrelioClientDlg: Reading cookie for user info", tries the
// sources into profile and signs in with the first success. When nothing was
// found or the sign-in failed it writes "CKestrelioClientDlg: failed to read
// cookie. Prompting user": the caller then asks the user.
StartupSignInResult SignInAtStartup(CProfile& profile, const std::vector<CredentialSource>& sources);

} // namespace quaylet
