// `cmake --install` into staging folders (DESTDIR), checked file by file, and
// the desktop's own validators run on what was installed.

#include "support/sandbox.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>

#include <gtest/gtest.h>

#include <ostream>

namespace {

using quaylet::test::SandboxPath;

const QString kAppId = QStringLiteral("example.glimmerly.Quaylet");
constexpr int kToolTimeoutMs = 180'000;

struct ToolRun {
    bool finished = false;
    int exitCode = -1;
    QString output; // standard output and error together
};

ToolRun RunTool(const QString& program, const QStringList& args,
                const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    ToolRun run;
    run.finished = process.waitForStarted() && process.waitForFinished(kToolTimeoutMs);
    if (!run.finished)
        process.kill();
    process.waitForFinished(5000);
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = QString::fromLocal8Bit(process.readAll());
    return run;
}

// Installs the build under prefix into a fresh staging folder and returns the
// folder the prefix landed in (staging folder + prefix).
QString Install(const QString& stagingName, const QString& prefix, const QString& component = {})
{
    const QString staging = QString::fromStdString(SandboxPath(stagingName.toStdString()));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), staging);
    QStringList args{QStringLiteral("--install"), QStringLiteral(QUAYLET_TEST_BUILD_DIR),
                     QStringLiteral("--prefix"), prefix};
    if (!component.isEmpty())
        args << QStringLiteral("--component") << component;
    const ToolRun run = RunTool(QStringLiteral(QUAYLET_TEST_CMAKE), args, env);
    EXPECT_TRUE(run.finished && run.exitCode == 0) << run.output.toStdString();
    return staging + prefix;
}

// Every file below root, as paths relative to it, sorted.
QStringList FilesUnder(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

QList<int> IconSizes()
{
    return {16, 22, 24, 32, 48, 64, 128, 256};
}

QString IconPath(int size)
{
    return QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kAppId);
}

QStringList UserFiles()
{
    QStringList files{QStringLiteral("bin/quaylet"),
                      QStringLiteral("bin/quaylet-upload"),
                      QStringLiteral("share/applications/%1.desktop").arg(kAppId),
                      QStringLiteral("share/metainfo/%1.metainfo.xml").arg(kAppId),
                      QStringLiteral("share/man/man1/quaylet.1.gz"),
                      QStringLiteral("share/man/man1/quaylet-upload.1.gz"),
                      QStringLiteral("share/doc/quaylet/copyright"),
                      QStringLiteral("share/doc/quaylet/changelog.gz"),
                      QStringLiteral("share/lintian/overrides/quaylet"),
                      QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(kAppId)};
    for (int size : IconSizes())
        files << IconPath(size);
    files.sort();
    return files;
}

QString ReadText(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return QString::fromUtf8(file.readAll());
}

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

// A gzip file's text.
QString ReadCompressed(const QString& path)
{
    QProcess gzip;
    gzip.start(QStringLiteral("gzip"), {QStringLiteral("-dc"), path});
    EXPECT_TRUE(gzip.waitForFinished(kToolTimeoutMs) && gzip.exitCode() == 0) << path.toStdString();
    return QString::fromUtf8(gzip.readAllStandardOutput());
}

// The user's files land under whatever prefix is asked for, and nothing else
// does: no development service, no test or tool programs.
TEST(InstallTreeTest, PutsExactlyTheUserFilesUnderThePrefix)
{
    const QStringList prefixes{QStringLiteral("/usr"), QStringLiteral("/opt/quaylet")};
    int n = 0;
    for (const QString& prefix : prefixes) {
        SCOPED_TRACE(prefix.toStdString());
        const QString stage = QStringLiteral("stage%1").arg(n++);
        const QString root = Install(stage, prefix);
        EXPECT_EQ(FilesUnder(root), UserFiles());
        EXPECT_EQ(FilesUnder(QString::fromStdString(SandboxPath(stage.toStdString()))).size(),
                  UserFiles().size())
            << "files outside the prefix";
    }
}

TEST(InstallTreeTest, InstalledFilesCarryWhatTheDesktopReads)
{
    const QString root = Install(QStringLiteral("stage"), QStringLiteral("/usr"));
    for (const char* program : {"bin/quaylet", "bin/quaylet-upload"}) {
        const QFileInfo info(root + u'/' + QLatin1StringView(program));
        EXPECT_TRUE(info.isExecutable()) << program;
    }
    for (int size : IconSizes()) {
        const QImage icon(root + u'/' + IconPath(size));
        EXPECT_EQ(icon.size(), QSize(size, size)) << size;
        EXPECT_TRUE(icon.hasAlphaChannel()) << size;
    }
    const QString svg = ReadText(root + QStringLiteral("/share/icons/hicolor/scalable/apps/%1.svg").arg(kAppId));
    EXPECT_TRUE(svg.contains(QStringLiteral("<svg"))) << svg.toStdString();

    const QString entry = ReadText(root + QStringLiteral("/share/applications/%1.desktop").arg(kAppId));
    for (const QString& line : {QStringLiteral("Exec=quaylet %F"), QStringLiteral("Icon=") + kAppId,
                                QStringLiteral("Type=Application")})
        EXPECT_TRUE(entry.contains(u'\n' + line + u'\n')) << line.toStdString();
    // A photo type and a video type the client takes, so "Open With" offers it.
    EXPECT_TRUE(entry.contains(QStringLiteral("MimeType=image/jpeg;"))) << entry.toStdString();
    EXPECT_TRUE(entry.contains(QStringLiteral(";video/mp4;"))) << entry.toStdString();

    const QString version = QStringLiteral(QUAYLET_TEST_VERSION);
    const QString meta = ReadText(root + QStringLiteral("/share/metainfo/%1.metainfo.xml").arg(kAppId));
    EXPECT_TRUE(meta.contains(QStringLiteral("<release version=\"%1\"").arg(version)));
    EXPECT_TRUE(meta.contains(QStringLiteral("<screenshot type=\"default\">")));
    for (const char* page : {"quaylet.1.gz", "quaylet-upload.1.gz"})
        EXPECT_TRUE(ReadCompressed(root + QStringLiteral("/share/man/man1/") + QLatin1StringView(page))
                        .contains(QStringLiteral("Quaylet ") + version))
            << page;
    EXPECT_TRUE(ReadCompressed(root + QStringLiteral("/share/doc/quaylet/changelog.gz"))
                    .startsWith(QStringLiteral("quaylet (%1) ").arg(version)));
    EXPECT_TRUE(ReadText(root + QStringLiteral("/share/doc/quaylet/copyright"))
                    .startsWith(QStringLiteral("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n")));
}

// The same sources give the same package: no file name and no time in the
// headers of the compressed files.
TEST(InstallTreeTest, CompressedFilesCarryNoNameOrTime)
{
    const QString root = Install(QStringLiteral("stage"), QStringLiteral("/usr"));
    for (const char* file : {"man/man1/quaylet.1.gz", "man/man1/quaylet-upload.1.gz", "doc/quaylet/changelog.gz"}) {
        const QByteArray bytes = ReadBytes(root + QStringLiteral("/share/") + QLatin1StringView(file));
        ASSERT_GE(bytes.size(), 10) << file;
        EXPECT_EQ(bytes.left(3), QByteArray("\x1f\x8b\x08")) << file;
        EXPECT_EQ(bytes.mid(3, 5), QByteArray(5, '\0')) << file << ": flags and time";
    }
}

TEST(InstallTreeTest, DevelopmentServiceInstallsOnlyAsItsOwnComponent)
{
    const QString root = Install(QStringLiteral("stage"), QStringLiteral("/usr"), QStringLiteral("devserver"));
    EXPECT_EQ(FilesUnder(root), QStringList{QStringLiteral("bin/quaylet-devserver")});
    EXPECT_TRUE(QFileInfo(root + QStringLiteral("/bin/quaylet-devserver")).isExecutable());
}

struct Validator {
    const char* tool;
    QStringList args; // the installed file is appended
    QString file;     // relative to the prefix
    bool quiet;       // any output is a complaint
};

// Names the case by its file rather than by its bytes.
void PrintTo(const Validator& v, std::ostream* os)
{
    *os << v.tool << ' ' << v.file.toStdString();
}

// man's own formatting with its warnings on, as the package checker reads a
// page; the file comes as $0.
const QStringList kManWarnings{QStringLiteral("-c"),
                               QStringLiteral("man --warnings -E UTF-8 -l -Tutf8 -Z \"$0\" >/dev/null")};

class InstalledFileValidatorTest : public testing::TestWithParam<Validator> {};

TEST_P(InstalledFileValidatorTest, AcceptsTheInstalledFile)
{
    const Validator& v = GetParam();
    const QString tool = QStandardPaths::findExecutable(QLatin1StringView(v.tool));
    if (tool.isEmpty())
        GTEST_SKIP() << v.tool << " is not installed: the file is not validated";
    const QString root = Install(QStringLiteral("stage"), QStringLiteral("/usr"));
    const ToolRun run = RunTool(tool, v.args + QStringList{root + u'/' + v.file});
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    if (v.quiet) {
        EXPECT_EQ(run.output, QString());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Validators, InstalledFileValidatorTest,
    testing::Values(
        Validator{"desktop-file-validate", {}, QStringLiteral("share/applications/%1.desktop").arg(kAppId), true},
        Validator{"appstreamcli",
                  {QStringLiteral("validate"), QStringLiteral("--no-net")},
                  QStringLiteral("share/metainfo/%1.metainfo.xml").arg(kAppId),
                  false},
        Validator{"sh", kManWarnings, QStringLiteral("share/man/man1/quaylet.1.gz"), true},
        Validator{"sh", kManWarnings, QStringLiteral("share/man/man1/quaylet-upload.1.gz"), true}),
    [](const testing::TestParamInfo<Validator>& param) {
        return QFileInfo(param.param.file).fileName().replace(u'.', u'_').replace(u'-', u'_').toStdString();
    });

} // namespace
