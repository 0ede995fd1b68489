#pragma once

// The two credential stores: the client's own ($XDG_CONFIG_HOME/Glimmerly.conf)
// and the earlier product's ($XDG_CONFIG_HOME/Kestrelio.conf), each holding
// "szUsername" and "szPassword" as texts. One QSettings object per operation;
// files are created and kept readable by their owner only.

#include <functional>
#include <string>

class QSettings;

namespace quaylet {

struct StoredValues {
    std::string userName; // empty when missing, not a text, or longer than 259 bytes
    std::string password; // likewise
    bool passwordPresent = false;
};

class CredentialStore final {
public:
    enum Which { Current, Earlier };

    explicit CredentialStore(Which which);
    CredentialStore(const CredentialStore&) = delete;
    CredentialStore& operator=(const CredentialStore&) = delete;

    static std::string FilePath(Which which);

    bool exists() const;
    bool readable() const;
    bool writable() const;

    StoredValues read() const;
    bool write(const std::string& userName, const std::string& scrambledPassword);
    bool writePassword(const std::string& scrambledPassword);
    // The user name alone: a stored password is removed (it lives elsewhere).
    bool writeUserNameOnly(const std::string& userName);

private:
    bool update(const std::function<void(QSettings&)>& change);
    bool finishWrite();
    Which m_which;
    std::string m_path;
};

} // namespace quaylet
