#pragma once

// The client's preferences store: named values in the section "Settings" of
// $XDG_CONFIG_HOME/Glimmerly/Glimmerly.conf. Every operation opens the store,
// does one read or one write and closes it again; nothing is cached, so values
// written by one thread are seen at once by the other.
//
// Texts are byte strings and come back byte for byte: valid UTF-8 is stored as
// a string, anything else as a byte array. A store that is missing, unreadable
// or corrupt reads as the defaults, and a corrupt store is never written over.
// Only this file is read: the credentials beside it never affect it.

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string>

namespace quaylet {

inline constexpr const char* kSettingsSection = "Settings";

// The stored number, or the default when it is missing or not a whole 32-bit
// number. Unsigned numbers read as their signed 32-bit value, so a stored
// 4294967295 reads as -1.
int32_t GetSettingInt(const char* section, const char* name, int32_t defaultValue);
bool SetSettingInt(const char* section, const char* name, int32_t value);

std::string GetSettingString(const char* section, const char* name, const std::string& defaultValue);
bool SetSettingString(const char* section, const char* name, const std::string& value);

// The stored record, or nothing when the value is missing.
std::optional<QByteArray> GetSettingBinary(const char* section, const char* name);
bool SetSettingBinary(const char* section, const char* name, const QByteArray& bytes);

// True when the value exists in the store (for tests and first-run checks).
bool HasSetting(const char* section, const char* name);

} // namespace quaylet
