#pragma once

// Stored uploads: one folder per upload under <data>/<account>/, holding the
// media file and "fields.txt" (every field of the upload but the password,
// plus the content's SHA-1, size and file name). The store is read back at
// start, so duplicates and limits hold across restarts.
//
// Thread-safe: the HTTP library answers requests on several threads.

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace quaylet::devserver {

enum class MediaKind { Photo, Video };

struct StoredCounts {
    long photos = 0;
    long videos = 0;
};

class MediaStore final {
public:
    explicit MediaStore(std::string dataDir);
    MediaStore(const MediaStore&) = delete;
    MediaStore& operator=(const MediaStore&) = delete;

    const std::string& dataDir() const { return m_dataDir; }

    enum class Outcome { Stored, Duplicate, PhotoLimit, VideoLimit, Failed };

    // Stores the media unless the account holds the same content already or
    // its limit for the kind is reached (limit -1: none). fields: name/value
    // pairs to record (the password must not be among them).
    Outcome store(const std::string& account, MediaKind kind, long limit, const std::string& fileName,
                  const std::string& content, const std::vector<std::pair<std::string, std::string>>& fields,
                  std::string* folder = nullptr);

    StoredCounts counts(const std::string& account) const;

private:
    struct AccountState {
        StoredCounts counts;
        std::set<std::string> hashes;
        long next = 1;
    };
    void load();

    std::string m_dataDir;
    mutable std::mutex m_mutex; // guards m_accounts and the folders on disk
    std::map<std::string, AccountState> m_accounts;
};

// "photo" is a photo; "video" and "video_no_meta" are videos.
bool MediaKindOf(const std::string& type, MediaKind& kind);

} // namespace quaylet::devserver
