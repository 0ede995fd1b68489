// The messages a later start sends the running client: framing that survives
// any byte in a name and any split of the stream, and a real socket carrying
// more paths than its buffer holds.

#include "app/instancemessage.h"
#include "app/singleinstance.h"
#include "support/sandbox.h"

#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <thread>

using namespace quaylet;

namespace {

using Paths = std::vector<std::string>;

std::vector<InstanceMessage> FeedInPieces(const QByteArray& stream, qsizetype piece)
{
    InstanceMessageReader reader;
    std::vector<InstanceMessage> all;
    for (qsizetype at = 0; at < stream.size(); at += piece)
        for (InstanceMessage& m : reader.feed(stream.mid(at, piece)))
            all.push_back(std::move(m));
    return all;
}

} // namespace

TEST(InstanceMessageTest, PathsSurviveAnyByteAndAnySplit)
{
    const Paths paths = {"/a/line\nfeed.jpg", "/a/caf\xe9.jpg", "/a/show", std::string("/a/\xff\xfe close\r\n", 13)};
    const QByteArray stream = QByteArrayLiteral("show\n") + OpenMessage(paths) + QByteArrayLiteral("close\n") +
                              OpenMessage({}) + QByteArrayLiteral("noop\n");
    for (const qsizetype piece : {qsizetype(1), qsizetype(2), qsizetype(7), stream.size()}) {
        const auto messages = FeedInPieces(stream, piece);
        ASSERT_EQ(messages.size(), 5u) << "pieces of " << piece;
        EXPECT_EQ(messages[0].command, "show");
        EXPECT_EQ(messages[1].command, "open");
        EXPECT_EQ(messages[1].paths, paths) << "pieces of " << piece;
        EXPECT_EQ(messages[2].command, "close");
        EXPECT_EQ(messages[3].command, "open");
        EXPECT_TRUE(messages[3].paths.empty());
        EXPECT_EQ(messages[4].command, "noop");
    }
}

TEST(InstanceMessageTest, AMalformedOrOversizedOpenEndsTheConversation)
{
    const QByteArray tooLarge =
        "open " + QByteArray::number(InstanceMessageReader::kMaxOpenBytes + 1) + "\n";
    // A line too long for any command, also when it arrives in one piece.
    for (const QByteArray& bad : {QByteArrayLiteral("open x\n"), QByteArrayLiteral("open -1\n"), tooLarge,
                                  QByteArray(100, 'a'), QByteArray(70, 'a') + '\n'}) {
        InstanceMessageReader reader;
        EXPECT_TRUE(reader.feed(bad).empty()) << bad.left(20).toStdString();
        EXPECT_TRUE(reader.feed(QByteArrayLiteral("show\n")).empty()) << bad.left(20).toStdString();
    }
}

TEST(InstanceMessageTest, MorePathsThanTheSocketBufferHoldsArriveWhole)
{
    const QString dir = QString::fromStdString(test::SandboxPath("runtime"));
    SingleInstance first(dir, QStringLiteral("KestrelioClient"));
    ASSERT_TRUE(first.tryBecomeFirst());
    ASSERT_TRUE(first.listen());

    Paths sent;
    for (int i = 0; i < 4000; ++i)
        sent.push_back("/photos/" + std::string(200, static_cast<char>('a' + i % 26)) + std::to_string(i) + ".jpg");
    Paths received;
    int shows = 0;
    QEventLoop loop;
    QObject::connect(&first, &SingleInstance::openRequested, &loop, [&](const Paths& paths) {
        received.insert(received.end(), paths.begin(), paths.end());
    });
    QObject::connect(&first, &SingleInstance::showRequested, &loop, [&] {
        ++shows;
        loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);

    // The later start blocks while it writes, so it runs beside the event loop.
    bool handed = false;
    std::thread later([&] { handed = SingleInstance(dir, QStringLiteral("KestrelioClient")).openInRunning(sent, 15000); });
    loop.exec();
    later.join();
    EXPECT_TRUE(handed);
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(received, sent);
}
