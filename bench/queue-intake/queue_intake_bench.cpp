// Queues a dropped folder tree of photos, as the window does on a drop, and
// prints how long it takes. Usage: queue_intake_bench <work dir> <files> <runs>

#include "core/logfile.h"
#include "dropintake/filedroplistctrl.h"
#include "transfer/recordingwindowreactions.h"
#include "transfer/uploadqueue.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace quaylet;
namespace fs = std::filesystem;

namespace {

std::string makePhoto()
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    auto photo =
        Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(bytes.constData()), bytes.size());
    photo->readMetadata();
    Exiv2::ExifData exif;
    exif["Exif.Photo.DateTimeOriginal"] = "2011:06:07 08:09:10";
    exif["Exif.Image.Orientation"] = uint16_t(1);
    photo->setExifData(exif);
    photo->writeMetadata();
    auto& io = photo->io();
    io.seek(0, Exiv2::BasicIo::beg);
    const auto data = io.read(static_cast<long>(io.size()));
    return std::string(reinterpret_cast<const char*>(data.pData_), static_cast<std::size_t>(data.size_));
}

// Stands in for the image preparation's date reader: the same exiv2 work.
std::optional<int64_t> dateTaken(const std::string& path)
{
    try {
        auto image = Exiv2::ImageFactory::open(path);
        image->readMetadata();
        const auto& exif = image->exifData();
        const auto it = exif.findKey(Exiv2::ExifKey("Exif.Photo.DateTimeOriginal"));
        if (it == exif.end())
            return std::nullopt;
        std::tm tm{};
        if (std::sscanf(it->toString().c_str(), "%d:%d:%d %d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                        &tm.tm_hour, &tm.tm_min, &tm.tm_sec) != 6)
            return std::nullopt;
        tm.tm_year -= 1900;
        tm.tm_mon -= 1;
        tm.tm_isdst = -1;
        return static_cast<int64_t>(std::mktime(&tm));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// files photos in folders of 100, two levels deep, with a few other files.
void makeTree(const std::string& root, int files, const std::string& photo)
{
    for (int i = 0; i < files; ++i) {
        const std::string dir = root + "/" + std::to_string(i / 1000) + "/" + std::to_string(i / 100 % 10);
        if (i % 100 == 0) {
            fs::create_directories(dir);
            std::ofstream(dir + "/notes.txt") << "not a photo";
        }
        std::ofstream(dir + "/IMG_" + std::to_string(i) + ".jpg", std::ios::binary) << photo;
    }
}

struct Result {
    double seconds = 0;
    std::size_t rows = 0;
};

Result queueTree(const std::string& root, bool withDate, int drops)
{
    CFileDropListCtrl intake(std::string{});
    CRecordingWindowReactions window;
    TransferObjects objects;
    UploadQueueLinks links;
    links.window = &window;
    links.objects = &objects;
    if (withDate)
        links.dateTaken = dateTaken;
    CUploadQueue queue(links);
    intake.SetDropMode({kMainWindowDropMask, AcceptedExtensions(), queue.dropCallback()});
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < drops; ++i)
        intake.OnDropFiles({root});
    const auto end = std::chrono::steady_clock::now();
    return {std::chrono::duration<double>(end - start).count(), queue.count()};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <work dir> <files> <runs>\n", argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);
    const std::string work = argv[1];
    const int files = std::stoi(argv[2]);
    const int runs = std::stoi(argv[3]);
    Exiv2::XmpParser::initialize();
    ::setenv("XDG_CONFIG_HOME", (work + "/config").c_str(), 1);
    fs::create_directories(work + "/config");
    // The log as the client writes it: every queued file is a level-4 line.
    OpenLog(work + "/Quaylet.log");
    SetLogMirror(false);

    const std::string photo = makePhoto();
    const std::string full = work + "/full", half = work + "/half", quarter = work + "/quarter";
    makeTree(full, files, photo);
    makeTree(half, files / 2, photo);
    makeTree(quarter, files / 4, photo);

    std::vector<double> withDate, withoutDate, redrop, q, h;
    std::size_t rows = 0;
    for (int r = 0; r < runs; ++r) {
        const Result a = queueTree(full, true, 1);
        rows = a.rows;
        withDate.push_back(a.seconds);
        withoutDate.push_back(queueTree(full, false, 1).seconds);
        // The same tree dropped a second time onto the full queue: every file is a duplicate.
        redrop.push_back(queueTree(full, false, 2).seconds - withoutDate.back());
        q.push_back(queueTree(quarter, false, 1).seconds);
        h.push_back(queueTree(half, false, 1).seconds);
    }
    const double perFileQuarter = median(q) / (files / 4);
    const double perFileFull = median(withoutDate) / files;
    std::printf("%-44s %10s\n", "case (median of runs, warm cache)", "seconds");
    std::printf("%-44s %10.3f\n", ("queue " + std::to_string(files) + " photos, date taken read").c_str(),
                median(withDate));
    std::printf("%-44s %10.3f\n", ("queue " + std::to_string(files) + " photos, no date reader").c_str(),
                median(withoutDate));
    std::printf("%-44s %10.3f\n", ("queue " + std::to_string(files / 2) + " photos, no date reader").c_str(),
                median(h));
    std::printf("%-44s %10.3f\n", ("queue " + std::to_string(files / 4) + " photos, no date reader").c_str(),
                median(q));
    std::printf("%-44s %10.3f\n", "drop the same tree again (all duplicates)", median(redrop));
    std::printf("rows queued: %zu of %d\n", rows, files);
    std::printf("queue-intake: files=%d seconds=%.3f seconds_without_date=%.3f duplicate_redrop_seconds=%.3f "
                "per_file_growth_full_vs_quarter=%.2f\n",
                files, median(withDate), median(withoutDate), median(redrop), perFileFull / perFileQuarter);
    return rows == static_cast<std::size_t>(files) ? 0 : 1;
}
