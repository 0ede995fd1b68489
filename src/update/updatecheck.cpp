#include "update/updatecheck.h"

#include "core/logfile.h"
#include "update/versionfetch.h"
#include "update/versionfile.h"

namespace quaylet {

CUpdateCheck::CUpdateCheck(std::optional<std::array<int, 4>> ownVersion)
    : m_ownVersion(ownVersion)
{
}

CUpdateCheck::~CUpdateCheck() = default;

int CUpdateCheck::CheckForUpdate(const std::string& address, uint32_t& ownVersion, uint32_t& webVersion)
{
    if (!m_ownVersion)
        return 0;
    const uint32_t own =
        PackVersion(static_cast<uint32_t>((*m_ownVersion)[0]), static_cast<uint32_t>((*m_ownVersion)[1]));
    ownVersion = own;
    // Hexadecimal on purpose: the log has always shown versions this way.
    WriteLog(LogTrace, "CUpdateCheck: Current version is %x.%x", VersionMajor(own), VersionMinor(own));

    std::string text;
    switch (FetchVersionFile(address, kAgent, kReadSize, text)) {
    case VersionFetch::NotOpened:
        return 0;
    case VersionFetch::ReadFailed:
        WriteLog(LogTrace, "CUpdateCheck: Failed to read Web version");
        return 0;
    case VersionFetch::Read:
        break;
    }
    if (text.empty())
        return 0;
    // The status is not looked at: an error page has no numbers in front and
    // reads as version 0.0.
    const WebVersion web = ParseVersionFile(text);
    webVersion = web.version;
    WriteLog(LogTrace, "CUpdateCheck: Web version is %x.%x", VersionMajor(web.version), VersionMinor(web.version));
    if (web.version <= own)
        return 0;
    auto download = WebDownloadAddress(web.downloadAddress);
    if (!download) {
        WriteLog(LogMilestone, "CUpdateCheck: The download address is not a web address, version %u.%u not offered",
                 VersionMajor(web.version), VersionMinor(web.version));
        return 0;
    }
    m_downloadAddress = std::move(*download);
    return 1;
}

UpdateCheckAnswer RunUpdateCheck(CUpdateCheck& check, const std::string& address)
{
    UpdateCheckAnswer answer;
    try {
        answer.result = check.CheckForUpdate(address, answer.ownVersion, answer.webVersion);
        if (answer.result == 1)
            answer.downloadAddress = check.downloadAddress();
    } catch (...) {
        // Made on a worker thread, which must not let an exception out.
        answer = {};
    }
    return answer;
}

} // namespace quaylet
