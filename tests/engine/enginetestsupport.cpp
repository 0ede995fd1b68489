#include "enginetestsupport.h"

#include "api/endpoints.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStringList>
#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace quaylet::test {

TransferSteps InstantSteps(std::function<int(const StepContext&, const UploadRequest&)> upload)
{
    TransferSteps steps;
    steps.checkConnection = [](const StepContext&) { return true; };
    steps.fetchPremium = [](const StepContext&) { return true; };
    steps.rotateToUpright = [](const std::string&, int) { return std::string(); };
    steps.makeUploadImage = [](const std::string&, int, const std::string&) { return std::string(); };
    steps.convertVideo = [](const StepContext&, const std::string&) { return std::string(); };
    steps.dateTaken = [](const std::string&) { return std::optional<int64_t>(); };
    steps.upload = std::move(upload);
    return steps;
}

void RecordOutcomes(TransferEngine& engine, RecordingView& view)
{
    engine.setFileFinishedHandler([&view](const QueueRow& row, int result) {
        {
            std::lock_guard lock(view.mutex);
            view.outcomes.emplace_back(row.queuedPath, result);
        }
        view.changed.notify_all();
    });
}

bool RunBatch(TransferEngine& engine, RecordingView& view, const std::vector<std::string>& paths,
              std::size_t expectedOutcomes, std::chrono::milliseconds timeout)
{
    std::size_t before = 0;
    {
        std::lock_guard lock(view.mutex);
        before = view.outcomes.size();
    }
    engine.intake().OnDropFiles(paths);
    if (!view.waitFor([&] { return view.outcomes.size() >= before + expectedOutcomes; }, timeout))
        return false;
    // The reactions to the last file go on after its outcome (balloons, the
    // queue reset, the empty-queue pass): wait until the view stays quiet.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        uint64_t seen = 0;
        {
            std::lock_guard lock(view.mutex);
            seen = view.changes;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::lock_guard lock(view.mutex);
        if (view.changes == seen && engine.queue().count() == 0)
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    }
}

std::string MakePhoto(const std::string& path, int width, int height, int seed)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor::fromHsv((seed * 47) % 360, 200, 220));
    QPainter painter(&image);
    painter.setPen(QPen(Qt::black, 9));
    for (int i = 0; i < 12; ++i)
        painter.drawLine(0, (i * 97 + seed * 13) % height, width, (i * 53 + seed * 29) % height);
    painter.end();
    image.save(QString::fromStdString(path), "JPEG", 95);
    return path;
}

std::string MakeTurnedPhoto(const std::string& path, int width, int height, uint16_t orientation, bool grain)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height / 2, Qt::red);
    painter.end();
    uint32_t seed = 12345;
    for (int y = 0; grain && y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int d = static_cast<int>(seed >> 26) - 32;
            const QRgb p = row[x];
            row[x] = qRgb(std::clamp(qRed(p) + d, 0, 255), std::clamp(qGreen(p) - d, 0, 255),
                          std::clamp(qBlue(p) + d / 2, 0, 255));
        }
    }
    image.save(QString::fromStdString(path), "JPEG", 95);
    auto file = Exiv2::ImageFactory::open(path);
    file->readMetadata();
    Exiv2::ExifData exif = file->exifData();
    exif["Exif.Image.Orientation"] = orientation;
    file->setExifData(exif);
    file->writeMetadata();
    return path;
}

std::string MakeClip(const std::string& path, int seconds, const std::string& size)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
                  QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("testsrc=size=%1:rate=10").arg(QString::fromStdString(size)), QStringLiteral("-f"),
                  QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine=frequency=440"),
                  QStringLiteral("-t"), QString::number(seconds), QStringLiteral("-c:v"), QStringLiteral("libx264"),
                  QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:a"), QStringLiteral("aac"),
                  QString::fromStdString(path)});
    ffmpeg.waitForFinished(60000);
    return path;
}

void UseService(const std::string& origin)
{
    ::setenv(kServiceUrlVariable, origin.c_str(), 1);
}

int CountOf(const std::string& text, const std::string& what)
{
    int n = 0;
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
        ++n;
    return n;
}

} // namespace quaylet::test
