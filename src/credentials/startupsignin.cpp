#include "credentials/startupsignin.h"

#include "api/endpoints.h"
#include "core/logfile.h"

namespace quaylet {

std::vector<CredentialSource> StoredCredentialSources()
{
    std::vector<CredentialSource> sources;
    for (const char* site : {kFixedSiteAddress, kFixedBareSiteAddress, kFixedEarlierSiteAddress})
        sources.emplace_back([site](CProfile& profile) { return LoadCredentials(profile, site); });
    return sources;
}

StartupSignInResult SignInAtStartup(CProfile& profile, const std::vector<CredentialSource>& sources)
{
    StartupSignInResult result;
    WriteLog(LogTrace, "CKestrelioClientDlg: Reading cookie for user info");
    for (const CredentialSource& source : sources) {
        if (source(profile)) {
            result.found = true;
            break;
        }
    }
    if (result.found)
        result.signIn = SignInWithProfile(profile, result.errorText);
    if (!result.signedIn())
        WriteLog(LogTrace, "CKestrelioClientDlg: failed to read cookie. Prompting user");
    return result;
}

} // namespace quaylet
