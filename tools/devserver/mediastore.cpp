#include "devserver/mediastore.h"

#include "devserver/xmltext.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace quaylet::devserver {

namespace {

// Account names come from the network: keep them to one harmless path segment.
std::string SafeSegment(const std::string& name)
{
    std::string out;
    for (const unsigned char c : name) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.')
            out += static_cast<char>(c);
        else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    if (out.empty() || out == "." || out == "..")
        out = "%" + out;
    return out;
}

std::string Extension(const std::string& fileName)
{
    const auto slash = fileName.find_last_of("/\\");
    const std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    const auto dot = base.rfind('.');
    if (dot == std::string::npos || dot + 1 == base.size() || base.size() - dot > 8)
        return {};
    std::string ext;
    for (const unsigned char c : base.substr(dot + 1)) {
        if (!std::isalnum(c))
            return {};
        ext += static_cast<char>(std::tolower(c));
    }
    return "." + ext;
}

} // namespace

bool MediaKindOf(const std::string& type, MediaKind& kind)
{
    if (type == "photo") {
        kind = MediaKind::Photo;
        return true;
    }
    if (type == "video" || type == "video_no_meta") {
        kind = MediaKind::Video;
        return true;
    }
    return false;
}

MediaStore::MediaStore(std::string dataDir)
    : m_dataDir(std::move(dataDir))
{
    load();
}

void MediaStore::load()
{
    std::error_code ec;
    fs::create_directories(m_dataDir, ec);
    for (const auto& accountDir : fs::directory_iterator(m_dataDir, ec)) {
        if (!accountDir.is_directory())
            continue;
        std::string account;
        AccountState state;
        for (const auto& upload : fs::directory_iterator(accountDir.path(), ec)) {
            std::ifstream f(upload.path() / "fields.txt");
            std::string line;
            std::string type, sha1;
            while (std::getline(f, line)) {
                const auto eq = line.find('=');
                if (eq == std::string::npos)
                    continue;
                const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
                if (key == "type")
                    type = value;
                else if (key == "sha1")
                    sha1 = value;
                else if (key == "username")
                    account = value;
            }
            MediaKind kind;
            if (sha1.empty() || !MediaKindOf(type, kind))
                continue;
            state.hashes.insert(sha1);
            (kind == MediaKind::Photo ? state.counts.photos : state.counts.videos) += 1;
            try {
                state.next = std::max(state.next, std::stol(upload.path().filename().string()) + 1);
            } catch (...) {
            }
        }
        if (!account.empty())
            m_accounts[account] = std::move(state);
    }
}

MediaStore::Outcome MediaStore::store(const std::string& account, MediaKind kind, long limit,
                                      const std::string& fileName, const std::string& content,
                                      const std::vector<std::pair<std::string, std::string>>& fields,
                                      std::string* folder)
{
    const std::string sha1 = Sha1Hex(content);
    std::lock_guard lock(m_mutex);
    AccountState& state = m_accounts[account];
    if (state.hashes.count(sha1) != 0)
        return Outcome::Duplicate;
    long& count = kind == MediaKind::Photo ? state.counts.photos : state.counts.videos;
    if (limit >= 0 && count >= limit)
        return kind == MediaKind::Photo ? Outcome::PhotoLimit : Outcome::VideoLimit;

    char number[16];
    std::snprintf(number, sizeof number, "%06ld", state.next);
    const fs::path dir = fs::path(m_dataDir) / SafeSegment(account) / number;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        return Outcome::Failed;
    {
        std::ofstream media(dir / ("media" + Extension(fileName)), std::ios::binary);
        media.write(content.data(), static_cast<std::streamsize>(content.size()));
        std::ofstream meta(dir / "fields.txt", std::ios::binary);
        for (const auto& [name, value] : fields) {
            std::string flat = value;
            for (char& c : flat) {
                if (c == '\r' || c == '\n')
                    c = ' ';
            }
            meta << name << '=' << flat << '\n';
        }
        meta << "filename=" << fileName << '\n' << "size=" << content.size() << '\n' << "sha1=" << sha1 << '\n';
        if (!media || !meta)
            return Outcome::Failed;
    }
    state.next += 1;
    state.hashes.insert(sha1);
    count += 1;
    if (folder != nullptr)
        *folder = dir.string();
    return Outcome::Stored;
}

StoredCounts MediaStore::counts(const std::string& account) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_accounts.find(account);
    return it == m_accounts.end() ? StoredCounts{} : it->second.counts;
}

} // namespace quaylet::devserver
