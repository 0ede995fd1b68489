#include "core/settings.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QUtf8StringView>
#include <QString>

#include <limits>

namespace quaylet {

namespace {

// The file that organisation "Glimmerly", application "Glimmerly" names in the
// user scope: $XDG_CONFIG_HOME/Glimmerly/Glimmerly.conf.
QString storePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Glimmerly/Glimmerly.conf");
}

class Store final {
public:
    // Opened by its file name rather than by organisation and application: Qt
    // would then also parse the organisation's file beside it, which holds the
    // credentials, and a fault there would make every setting read as its
    // default and every write fail, even with its fallbacks turned off.
    explicit Store(const char* section) : m_settings(storePath(), QSettings::IniFormat)
    {
        m_settings.beginGroup(QString::fromUtf8(section));
        (void)m_settings.childKeys(); // parse now, so status() is known
        m_corrupt = m_settings.status() != QSettings::NoError || looksCorrupt(m_settings.fileName());
    }
    ~Store() { m_settings.endGroup(); }
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // A store that failed to parse counts as empty and is left alone.
    bool readable() const { return !m_corrupt; }

    std::optional<QVariant> read(const char* name) const
    {
        if (!readable())
            return std::nullopt;
        const QVariant v = m_settings.value(QString::fromUtf8(name));
        if (!v.isValid())
            return std::nullopt;
        return v;
    }

    bool write(const char* name, const QVariant& value)
    {
        if (!readable() || !m_settings.isWritable())
            return false;
        m_settings.setValue(QString::fromUtf8(name), value);
        m_settings.sync();
        return m_settings.status() == QSettings::NoError;
    }

private:
    // Qt reports a parse error only to the first object that reads a file in
    // this process, so judge the bytes ourselves: a text store holds no NUL and
    // is valid UTF-8.
    static bool looksCorrupt(const QString& path)
    {
        QFile file(path);
        if (!file.exists())
            return false;
        if (!file.open(QIODevice::ReadOnly))
            return true;
        const QByteArray bytes = file.readAll();
        return bytes.contains('\0') || !QUtf8StringView(bytes).isValidUtf8();
    }

    QSettings m_settings;
    bool m_corrupt = false;
};

} // namespace

int32_t GetSettingInt(const char* section, const char* name, int32_t defaultValue)
{
    const auto v = Store(section).read(name);
    if (!v)
        return defaultValue;
    bool ok = false;
    const qlonglong n = v->toString().trimmed().toLongLong(&ok);
    if (!ok || n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<uint32_t>::max())
        return defaultValue;
    return static_cast<int32_t>(static_cast<uint32_t>(n));
}

bool SetSettingInt(const char* section, const char* name, int32_t value)
{
    return Store(section).write(name, QVariant(static_cast<int>(value)));
}

std::string GetSettingString(const char* section, const char* name, const std::string& defaultValue)
{
    const auto v = Store(section).read(name);
    if (!v)
        return defaultValue;
    if (v->typeId() == QMetaType::QByteArray)
        return v->toByteArray().toStdString();
    return v->toString().toStdString();
}

bool SetSettingString(const char* section, const char* name, const std::string& value)
{
    // A text that is not UTF-8 (a service reply, say) would come back with
    // replacement characters as a string, so its bytes are kept as they are.
    const QByteArray bytes = QByteArray::fromStdString(value);
    if (QUtf8StringView(bytes).isValidUtf8())
        return Store(section).write(name, QVariant(QString::fromUtf8(bytes)));
    return Store(section).write(name, QVariant(bytes));
}

std::optional<QByteArray> GetSettingBinary(const char* section, const char* name)
{
    const auto v = Store(section).read(name);
    if (!v)
        return std::nullopt;
    return v->toByteArray();
}

bool SetSettingBinary(const char* section, const char* name, const QByteArray& bytes)
{
    return Store(section).write(name, QVariant(bytes));
}

bool HasSetting(const char* section, const char* name)
{
    return Store(section).read(name).has_value();
}

} // namespace quaylet
