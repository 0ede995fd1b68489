#include "core/settings.h"
#include "core/windowplacement.h"
#include "support/sandbox.h"

#include <QSettings>
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace quaylet;

namespace {
std::string configFile()
{
    return test::SandboxPath("config/Glimmerly/Glimmerly.conf");
}
} // namespace

TEST(SettingsTest, MissingValuesReadAsDefaults)
{
    EXPECT_EQ(GetSettingInt(kSettingsSection, "AlwaysOnTop", 1), 1);
    EXPECT_EQ(GetSettingString(kSettingsSection, "LastComment", ""), "");
    EXPECT_FALSE(GetSettingBinary(kSettingsSection, "WindowPlacement").has_value());
    EXPECT_FALSE(std::filesystem::exists(configFile())) << "reading never creates the store";
}

TEST(SettingsTest, ValuesReadBackAsWritten)
{
    ASSERT_TRUE(SetSettingInt(kSettingsSection, "Transparency", 80));
    ASSERT_TRUE(SetSettingInt(kSettingsSection, "Negative", -42));
    ASSERT_TRUE(SetSettingString(kSettingsSection, "LastComment", "caf\xC3\xA9 <toast/> 100%"));
    const QByteArray record("\x00\x01\xFF\x7F", 4);
    ASSERT_TRUE(SetSettingBinary(kSettingsSection, "WindowPlacement", record));

    EXPECT_EQ(GetSettingInt(kSettingsSection, "Transparency", 0), 80);
    EXPECT_EQ(GetSettingInt(kSettingsSection, "Negative", 0), -42);
    EXPECT_EQ(GetSettingString(kSettingsSection, "LastComment", ""), "caf\xC3\xA9 <toast/> 100%");
    EXPECT_EQ(GetSettingBinary(kSettingsSection, "WindowPlacement"), record);
    EXPECT_TRUE(std::filesystem::exists(configFile()));
}

TEST(SettingsTest, TextsReadBackByteForByteWhetherOrNotTheyAreUtf8)
{
    struct Case {
        std::string text;
        bool utf8;
    } cases[] = {
        {"caf\xC3\xA9 <toast/>", true},
        {"", true},
        {"caf\xE9 (Latin-1)", false},
        {"cut \xE2\x82", false},
        {std::string("nul \0 \xFF\xFE", 8), false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(SetSettingString(kSettingsSection, "LastComment", c.text));
        EXPECT_EQ(GetSettingString(kSettingsSection, "LastComment", "default"), c.text);
        QSettings raw(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Glimmerly"),
                      QStringLiteral("Glimmerly"));
        const QVariant stored = raw.value(QStringLiteral("Settings/LastComment"));
        EXPECT_EQ(stored.typeId(), c.utf8 ? QMetaType::QString : QMetaType::QByteArray) << c.text;
    }
    ASSERT_TRUE(SetSettingInt(kSettingsSection, "Transparency", 70));
    EXPECT_EQ(GetSettingInt(kSettingsSection, "Transparency", 80), 70) << "the store stays readable";
}

TEST(SettingsTest, StoredNumbersThatAreNotWhole32BitNumbersReadAsDefault)
{
    struct Case {
        const char* stored;
        int32_t expected;
    } cases[] = {
        {"4294967295", -1}, {"0", 0}, {"7", 7}, {"abc", 99}, {"1.5", 99}, {"", 99}, {"4294967296", 99},
        {"-2147483648", INT32_MIN},
    };
    for (const auto& c : cases) {
        {
            QSettings raw(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Glimmerly"),
                          QStringLiteral("Glimmerly"));
            raw.setValue(QStringLiteral("Settings/LogMask"), QString::fromUtf8(c.stored));
        }
        EXPECT_EQ(GetSettingInt(kSettingsSection, "LogMask", 99), c.expected) << "stored " << c.stored;
    }
}

TEST(SettingsTest, CorruptStoreReadsAsDefaultsAndIsNotWrittenOver)
{
    const std::string garbage("\x00\xFF[Settings\nAlwaysOnTop=0\n[[[\n=\n", 28);
    test::WriteFile(configFile(), garbage);
    EXPECT_EQ(GetSettingInt(kSettingsSection, "AlwaysOnTop", 1), 1);
    EXPECT_FALSE(SetSettingInt(kSettingsSection, "Transparency", 55));
    EXPECT_EQ(GetSettingInt(kSettingsSection, "Transparency", 80), 80);
    EXPECT_EQ(test::ReadFile(configFile()), garbage);
}

TEST(SettingsTest, CorruptCredentialsBesideTheStoreLeaveItAlone)
{
    // The organisation's file holds the credentials; it is not part of the store.
    const std::string credentials = test::SandboxPath("config/Glimmerly.conf");
    const std::string garbage("\x00\xFF[Settings\nAlwaysOnTop=0\n[[[\n=\n", 28);
    test::WriteFile(credentials, garbage);
    ASSERT_TRUE(SetSettingInt(kSettingsSection, "Transparency", 55));
    EXPECT_EQ(GetSettingInt(kSettingsSection, "Transparency", 80), 55);
    EXPECT_EQ(GetSettingInt(kSettingsSection, "AlwaysOnTop", 1), 1);
    EXPECT_EQ(test::ReadFile(credentials), garbage);
}

TEST(SettingsTest, UnreadableStoreReadsAsDefaultsAndIsLeftAlone)
{
    test::WriteFile(configFile(), "[Settings]\nAlwaysOnTop=0\n");
    const int status = test::RunUnprivileged([] {
        std::filesystem::permissions(configFile(), std::filesystem::perms::none);
        const bool unreadable = ::access(configFile().c_str(), R_OK) != 0;
        const bool readsDefault = GetSettingInt(kSettingsSection, "AlwaysOnTop", 1) == 1;
        const bool writeRefused = !SetSettingInt(kSettingsSection, "AlwaysOnTop", 1);
        std::filesystem::permissions(configFile(), std::filesystem::perms::owner_read);
        return unreadable && readsDefault && writeRefused;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(test::ReadFile(configFile()), "[Settings]\nAlwaysOnTop=0\n");
}

TEST(WindowPlacementTest, RecordRoundTripsThroughTheLittleEndianLayout)
{
    WindowPlacement p;
    p.showCmd = WindowPlacement::kShowMaximized;
    p.left = -1920;
    p.top = 10;
    p.right = 300;
    p.bottom = 0x01020304;
    const QByteArray bytes = EncodePlacement(p);
    ASSERT_EQ(bytes.size(), 44);
    EXPECT_EQ(QByteArray(bytes.constData(), 4), QByteArray("\x2C\x00\x00\x00", 4));
    EXPECT_EQ(QByteArray(bytes.constData() + 28, 4), QByteArray("\x80\xF8\xFF\xFF", 4)); // -1920
    EXPECT_EQ(QByteArray(bytes.constData() + 40, 4), QByteArray("\x04\x03\x02\x01", 4));
    EXPECT_EQ(DecodePlacement(bytes), p);
    EXPECT_EQ(DecodePlacement(bytes + "extra"), p);
    EXPECT_FALSE(DecodePlacement(bytes.left(43)).has_value());
}

TEST(WindowPlacementTest, MinimisedWindowIsSavedWithShowCommandFive)
{
    WindowPlacement p;
    p.showCmd = WindowPlacement::kShowMinimized;
    EXPECT_EQ(PlacementForSaving(p, true).showCmd, 5u);
    EXPECT_EQ(PlacementForSaving(p, false).showCmd, WindowPlacement::kShowMinimized);
}
