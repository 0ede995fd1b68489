#include "credentials/credentialstore.h"

#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QVariant>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

namespace quaylet {

namespace {

constexpr const char* kUserNameValue = "szUsername";
constexpr const char* kPasswordValue = "szPassword";
constexpr std::size_t kMaxValueBytes = 259;

QString Organisation(CredentialStore::Which which)
{
    return which == CredentialStore::Current ? QStringLiteral("Glimmerly") : QStringLiteral("Kestrelio");
}

std::unique_ptr<QSettings> Open(CredentialStore::Which which)
{
    // No application name: the file is <config>/<organisation>.conf.
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, Organisation(which));
}

std::string ReadText(const QSettings& settings, const char* name, bool* present = nullptr)
{
    const QVariant value = settings.value(QString::fromLatin1(name));
    if (!value.isValid() || value.typeId() != QMetaType::QString)
        return {};
    const QByteArray bytes = value.toString().toUtf8();
    if (static_cast<std::size_t>(bytes.size()) > kMaxValueBytes)
        return {};
    if (present != nullptr)
        *present = true;
    return bytes.toStdString();
}

// Folders made for the file are the owner's alone (whatever the umask), so no
// one else can swap the file for one of theirs.
void MakeOwnerOnlyFolders(const std::filesystem::path& folder)
{
    std::error_code ec;
    if (folder.empty() || std::filesystem::exists(folder, ec))
        return;
    MakeOwnerOnlyFolders(folder.parent_path());
    if (::mkdir(folder.c_str(), 0700) == 0)
        ::chmod(folder.c_str(), 0700); // a umask may take bits even from 0700
}

// Makes sure the file exists with mode 0600 before anything is written to it.
void PrepareOwnerOnlyFile(const std::string& path)
{
    MakeOwnerOnlyFolders(std::filesystem::absolute(path).parent_path());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    ::chmod(path.c_str(), 0600);
}

} // namespace

CredentialStore::CredentialStore(Which which)
    : m_which(which)
    , m_path(FilePath(which))
{
}

std::string CredentialStore::FilePath(Which which)
{
    return Open(which)->fileName().toStdString();
}

bool CredentialStore::exists() const
{
    return QFileInfo::exists(QString::fromStdString(m_path));
}

bool CredentialStore::readable() const
{
    return Open(m_which)->status() == QSettings::NoError;
}

bool CredentialStore::writable() const
{
    // Qt's answer makes the missing folders, with the umask's modes: ours first.
    MakeOwnerOnlyFolders(std::filesystem::absolute(m_path).parent_path());
    const auto settings = Open(m_which);
    return settings->status() == QSettings::NoError && settings->isWritable();
}

StoredValues CredentialStore::read() const
{
    const auto settings = Open(m_which);
    StoredValues values;
    values.userName = ReadText(*settings, kUserNameValue);
    values.password = ReadText(*settings, kPasswordValue, &values.passwordPresent);
    return values;
}

bool CredentialStore::write(const std::string& userName, const std::string& scrambledPassword)
{
    return update([&](QSettings& settings) {
        settings.setValue(QString::fromLatin1(kUserNameValue), QString::fromUtf8(userName.c_str()));
        settings.setValue(QString::fromLatin1(kPasswordValue), QString::fromLatin1(scrambledPassword.c_str()));
    });
}

bool CredentialStore::writePassword(const std::string& scrambledPassword)
{
    return update([&](QSettings& settings) {
        settings.setValue(QString::fromLatin1(kPasswordValue), QString::fromLatin1(scrambledPassword.c_str()));
    });
}

bool CredentialStore::writeUserNameOnly(const std::string& userName)
{
    return update([&](QSettings& settings) {
        settings.setValue(QString::fromLatin1(kUserNameValue), QString::fromUtf8(userName.c_str()));
        settings.remove(QString::fromLatin1(kPasswordValue));
    });
}

bool CredentialStore::update(const std::function<void(QSettings&)>& change)
{
    PrepareOwnerOnlyFile(m_path);
    {
        const auto settings = Open(m_which);
        if (settings->status() != QSettings::NoError || !settings->isWritable())
            return false;
        change(*settings);
        settings->sync();
        if (settings->status() != QSettings::NoError)
            return false;
    }
    return finishWrite();
}

bool CredentialStore::finishWrite()
{
    // The settings file may have been replaced by a new one while saving.
    return ::chmod(m_path.c_str(), 0600) == 0;
}

} // namespace quaylet
