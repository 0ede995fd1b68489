// Where a typed password could leak from a real run: the log, the encoders'
// command lines and environments, and the files in the temporary folder while
// the run is under way and after it; with the settings file or a keyring of
// the test's own holding the password.

#include "credentials/credentialstore.h"
#include "credentials/profile.h"
#include "devserver/devserverprocess.h"
#include "engine/enginetestsupport.h"
#include "support/processes.h"
#include "support/sandbox.h"
#include "support/testkeyring.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace quaylet;
namespace fs = std::filesystem;

namespace {

const std::string kPassword = "Quokka-7-Secret";

std::string RealProgram(const std::string& name)
{
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(':', start), path.size());
        const std::string candidate = path.substr(start, end - start) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

// Puts a stand-in for an encoder into dir (searched before PATH). It records
// its own command line and environment and a copy of the temporary folder as
// it is at that moment, into records/<pid>.*, then becomes the real encoder.
void InstallEncoderProbe(const std::string& dir, const std::string& name, const std::string& records)
{
    const std::string real = RealProgram(name);
    ASSERT_FALSE(real.empty()) << name << " is not installed";
    const std::string script = dir + "/" + name;
    test::WriteFile(script, "#!/bin/sh\n"
                            "r='" + records + "'\n"
                            "tr '\\0' '\\n' < /proc/$$/cmdline > \"$r/$$.cmdline\"\n"
                            "tr '\\0' '\\n' < /proc/$$/environ > \"$r/$$.environ\"\n"
                            "cp -R \"$TMPDIR\" \"$r/$$.temp\"\n"
                            "exec '" + real + "' \"$@\"\n");
    ::chmod(script.c_str(), 0755);
}

// Every regular file under root whose bytes hold one of the texts.
std::vector<std::string> FilesHolding(const std::string& root, const std::vector<std::string>& texts)
{
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_regular_file(ec))
            continue;
        const std::string bytes = test::ReadFile(it->path().string());
        for (const std::string& text : texts)
            if (bytes.find(text) != std::string::npos)
                found.push_back(it->path().string() + " holds " + text);
    }
    return found;
}

std::size_t CountEndingIn(const std::string& dir, const std::string& suffix)
{
    std::size_t n = 0;
    for (const auto& entry : fs::directory_iterator(dir))
        n += entry.path().string().ends_with(suffix);
    return n;
}

struct UploaderRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

UploaderRun RunUploader(const std::string& origin, const std::vector<std::string>& args, const std::string& input)
{
    QProcess uploader;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUAYLET_SERVICE_URL"), QString::fromStdString(origin));
    uploader.setProcessEnvironment(env);
    uploader.start(QStringLiteral("/bin/sh"),
                   {QStringLiteral("-c"), QString::fromStdString(test::ExecScript(QUAYLET_UPLOAD_PATH, args))});
    UploaderRun run;
    if (!uploader.waitForStarted(5000))
        return run;
    uploader.write(QByteArray::fromStdString(input));
    uploader.closeWriteChannel();
    if (!uploader.waitForFinished(180000))
        return run;
    run.exitCode = uploader.exitCode();
    run.out = uploader.readAllStandardOutput().toStdString();
    run.err = uploader.readAllStandardError().toStdString();
    return run;
}

// A service account, a photo and a clip, and probes in front of both encoders.
class SecretsFixture final {
  public:
    SecretsFixture()
    {
        const std::string config = test::SandboxPath("service.conf");
        test::WriteFile(config, "[account alice]\npassword = " + kPassword + "\n");
        server = std::make_unique<test::DevServerProcess>(test::SandboxPath("data"),
                                                          std::vector<std::string>{"--config", config});
        photo = test::MakePhoto(test::SandboxPath("work/a.jpg"), 640, 480, 1);
        clip = test::MakeClip(test::SandboxPath("work/b.mp4"), 1);
        records = test::SandboxPath("records");
        fs::create_directories(records);
        const std::string here = fs::current_path().string();
        InstallEncoderProbe(here, "mencoder", records);
        InstallEncoderProbe(here, "ffmpeg", records);
    }

    // The upload went through both encoders while the run's private folder
    // existed, and the password is in none of the places a run could leave it.
    void expectPasswordNowhere(const UploaderRun& run) const
    {
        EXPECT_GE(CountEndingIn(records, ".cmdline"), 2u);
        EXPECT_GE(CountEndingIn(records, ".environ"), 2u);
        bool sawPrivateFolder = false;
        for (const auto& entry : fs::directory_iterator(records))
            sawPrivateFolder |= fs::exists(entry.path() / ("quaylet-" + std::to_string(::getuid())));
        EXPECT_TRUE(sawPrivateFolder);

        // The sign-in hash opens the account as well as the password does.
        const std::vector<std::string> secrets = {kPassword, PasswordHash(kPassword)};
        const std::string log = test::ReadFile("Quaylet.log");
        ASSERT_NE(log.find("HTTPMethodUpload: End"), std::string::npos);
        for (const std::string& secret : secrets)
            EXPECT_EQ(log.find(secret), std::string::npos) << "the log holds " << secret;
        for (const std::string& leak : FilesHolding(records, secrets))
            ADD_FAILURE() << leak;
        // And nothing stays behind in the temporary folder once the run is over.
        for (const std::string& leak : FilesHolding(std::getenv("TMPDIR"), secrets))
            ADD_FAILURE() << leak;
        EXPECT_EQ(run.out.find(kPassword), std::string::npos);
        EXPECT_EQ(run.err.find(kPassword), std::string::npos);
    }

    std::unique_ptr<test::DevServerProcess> server;
    std::string photo;
    std::string clip;
    std::string records;
};

} // namespace

TEST(UploaderSecretsTest, PasswordStaysOutOfTheLogTheEncodersAndTheTemporaryFolder)
{
    SecretsFixture fixture;
    ASSERT_TRUE(fixture.server->running());
    const UploaderRun run =
        RunUploader(fixture.server->origin(), {"--user", "alice", fixture.photo, fixture.clip}, kPassword + "\n");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    ASSERT_NE(run.out.find("2 of 2 files uploaded"), std::string::npos) << run.out;
    fixture.expectPasswordNowhere(run);
}

TEST(UploaderSecretsTest, WithAKeyringThePasswordIsThereAndNowhereElse)
{
    if (const char* missing = test::MissingKeyringProgram())
        GTEST_SKIP() << missing << " is not installed: no keyring of the test's own";
    test::PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().empty()) << "the session bus did not start";
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    ::setenv("XDG_DATA_HOME", test::SandboxPath("keyring-data").c_str(), 1);
    ::unsetenv("QUAYLET_CREDENTIAL_STORE");
    test::TestKeyring keyring;
    ASSERT_TRUE(keyring.ready()) << "the keyring daemon did not come up";
    SecretsFixture fixture;
    ASSERT_TRUE(fixture.server->running());

    // Signing in once stores the password in the keyring, not in the file.
    const UploaderRun first = RunUploader(fixture.server->origin(), {"--user", "alice", "--sign-in-only"}, kPassword + "\n");
    ASSERT_EQ(first.exitCode, 0) << first.out << first.err;
    EXPECT_NE(keyring.search("server", "Glimmerly").find(kPassword), std::string::npos);
    const std::string settings = test::ReadFile(CredentialStore::FilePath(CredentialStore::Current));
    EXPECT_NE(settings.find("szUsername=alice"), std::string::npos) << settings;
    EXPECT_EQ(settings.find("szPassword"), std::string::npos) << settings;

    // The next run signs in from the keyring, asking nothing.
    const UploaderRun second = RunUploader(fixture.server->origin(), {fixture.photo, fixture.clip}, "");
    ASSERT_EQ(second.exitCode, 0) << second.out << second.err;
    ASSERT_NE(second.out.find("2 of 2 files uploaded"), std::string::npos) << second.out;
    fixture.expectPasswordNowhere(second);
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
}
