// Queues a dropped folder tree of photos, as the window does on a drop, with
// the client's own drop intake, queue and date reader, and prints how long it
// takes with the files' pages in memory (warm) and evicted (cold).
//
//   queue_intake_bench <work dir> <files> <runs>
//
// Each photo is a camera-like JPEG: an EXIF block with the usual camera tags,
// a maker note and a 160 x 120 thumbnail (about 16 KB in all) before a small
// picture, the file then extended to 4 MB with a hole, so that a tree of ten
// thousand photos has the size of real ones without their disk space. Cold
// runs first write the files' pages back and evict them with
// posix_fadvise(POSIX_FADV_DONTNEED); the folders' entries stay cached.

#include "core/logfile.h"
#include "dropintake/filedroplistctrl.h"
#include "media/imageprep.h"
#include "transfer/transferobjects.h"
#include "transfer/uploadqueue.h"
#include "transfer/windowreactions.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using namespace quaylet;
namespace fs = std::filesystem;

namespace {

constexpr off_t kPhotoBytes = off_t{4} << 20;

// A window that ignores what it is told: only the queue is measured.
class NoWindow final : public IWindowReactions {
public:
    void sendMessage(WindowMessage, int64_t) override {}
    void setProgressPosition(int) override {}
    void setProgressMaximum(int) override {}
    void setStatusText(const std::string&) override {}
    void showBalloon(const Balloon&) override {}
};

QByteArray encode(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes;
}

// A gradient with grain, which compresses about as well as a photo.
QImage grainyGradient(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    uint32_t seed = 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = static_cast<int>(seed >> 28) - 8;
            image.setPixel(x, y,
                           qRgb(std::clamp(x * 255 / width + grain, 0, 255),
                                std::clamp(y * 255 / height - grain, 0, 255), 128 + grain));
        }
    return image;
}

// The EXIF block a camera writes: its tags, a maker note and a thumbnail.
std::string makePhoto()
{
    const QByteArray picture = encode(grainyGradient(64, 48), 90);
    auto photo =
        Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(picture.constData()), picture.size());
    photo->readMetadata();
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = "Bench Camera Co.";
    exif["Exif.Image.Model"] = "BC-12";
    exif["Exif.Image.Orientation"] = uint16_t(1);
    exif["Exif.Image.XResolution"] = Exiv2::URational(72, 1);
    exif["Exif.Image.YResolution"] = Exiv2::URational(72, 1);
    exif["Exif.Image.ResolutionUnit"] = uint16_t(2);
    exif["Exif.Image.Software"] = "BC-12 Firmware 1.0.4";
    exif["Exif.Image.DateTime"] = "2011:06:07 08:09:10";
    exif["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 250);
    exif["Exif.Photo.FNumber"] = Exiv2::URational(28, 10);
    exif["Exif.Photo.ISOSpeedRatings"] = uint16_t(200);
    exif["Exif.Photo.DateTimeOriginal"] = "2011:06:07 08:09:10";
    exif["Exif.Photo.DateTimeDigitized"] = "2011:06:07 08:09:10";
    exif["Exif.Photo.FocalLength"] = Exiv2::URational(43, 10);
    exif["Exif.Photo.PixelXDimension"] = uint32_t(4000);
    exif["Exif.Photo.PixelYDimension"] = uint32_t(3000);
    exif["Exif.Photo.ColorSpace"] = uint16_t(1);
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    exif["Exif.GPSInfo.GPSLatitude"] = "47/1 22/1 1234/100";
    exif["Exif.GPSInfo.GPSLongitudeRef"] = "E";
    exif["Exif.GPSInfo.GPSLongitude"] = "8/1 32/1 4321/100";
    // Maker notes run to kilobytes of the maker's own records.
    Exiv2::DataValue makerNote(Exiv2::undefined);
    std::vector<Exiv2::byte> note(12000);
    for (std::size_t i = 0; i < note.size(); ++i)
        note[i] = static_cast<Exiv2::byte>(i * 131 % 251);
    makerNote.read(note.data(), static_cast<long>(note.size()), Exiv2::littleEndian);
    exif.add(Exiv2::ExifKey("Exif.Photo.MakerNote"), &makerNote);
    const QByteArray thumbnail = encode(grainyGradient(160, 120), 90);
    Exiv2::ExifThumb(exif).setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(thumbnail.constData()),
                                            thumbnail.size());
    photo->setExifData(exif);
    photo->writeMetadata();
    auto& io = photo->io();
    io.seek(0, Exiv2::BasicIo::beg);
    const auto data = io.read(static_cast<long>(io.size()));
    return std::string(reinterpret_cast<const char*>(data.pData_), static_cast<std::size_t>(data.size_));
}

// `files` photos in folders of 100, two levels deep, with a note in each
// folder that the filter turns down.
std::vector<std::string> makeTree(const std::string& root, int files, const std::string& photo)
{
    std::vector<std::string> paths;
    for (int i = 0; i < files; ++i) {
        const std::string dir = root + "/" + std::to_string(i / 1000) + "/" + std::to_string(i / 100 % 10);
        if (i % 100 == 0) {
            fs::create_directories(dir);
            std::ofstream(dir + "/notes.txt") << "not a photo";
        }
        const std::string path = dir + "/IMG_" + std::to_string(i) + ".jpg";
        std::ofstream(path, std::ios::binary) << photo;
        fs::resize_file(path, static_cast<std::uintmax_t>(kPhotoBytes));
        paths.push_back(path);
    }
    return paths;
}

// Writes the files' pages back and drops them from the page cache; returns
// how many of their first pages were still in memory afterwards.
std::size_t evict(const std::vector<std::string>& paths)
{
    ::sync();
    std::size_t resident = 0;
    const long page = ::sysconf(_SC_PAGESIZE);
    for (const std::string& path : paths) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        void* map = ::mmap(nullptr, static_cast<std::size_t>(page), PROT_READ, MAP_SHARED, fd, 0);
        if (map != MAP_FAILED) {
            unsigned char in = 0;
            if (::mincore(map, static_cast<std::size_t>(page), &in) == 0 && (in & 1))
                ++resident;
            ::munmap(map, static_cast<std::size_t>(page));
        }
        ::close(fd);
    }
    return resident;
}

struct Result {
    double seconds = 0; // of the last drop
    std::size_t rows = 0;
};

// Drops the tree `drops` times onto one queue.
Result queueTree(const std::string& root, bool withDate, int drops)
{
    CFileDropListCtrl intake(std::string{});
    NoWindow window;
    TransferObjects objects;
    UploadQueueLinks links;
    links.window = &window;
    links.objects = &objects;
    if (withDate)
        links.dateTaken = [](const std::string& path) { return GetDateTaken(path); };
    CUploadQueue queue(links);
    intake.SetDropMode({kMainWindowDropMask, AcceptedExtensions(), queue.dropCallback()});
    double seconds = 0;
    for (int i = 0; i < drops; ++i) {
        const auto start = std::chrono::steady_clock::now();
        intake.OnDropFiles({root});
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    return {seconds, queue.count()};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
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
    ::setenv("XDG_CONFIG_HOME", (work + "/config").c_str(), 1);
    fs::create_directories(work + "/config");
    // The log as the client writes it: every queued file is a level-4 line.
    OpenLog(work + "/Quaylet.log");
    SetLogMirror(false);

    const std::string photo = makePhoto();
    const std::string full = work + "/full", half = work + "/half", quarter = work + "/quarter";
    const std::vector<std::string> fullPaths = makeTree(full, files, photo);
    makeTree(half, files / 2, photo);
    makeTree(quarter, files / 4, photo);

    std::vector<double> cold, warm, withoutDate, redrop, q, h;
    std::size_t rows = 0, stillResident = 0;
    for (int r = 0; r < runs; ++r) {
        stillResident = std::max(stillResident, evict(fullPaths));
        const Result c = queueTree(full, true, 1);
        rows = c.rows;
        cold.push_back(c.seconds);
        warm.push_back(queueTree(full, true, 1).seconds);
        withoutDate.push_back(queueTree(full, false, 1).seconds);
        // The same tree dropped a second time onto the full queue: every file is a duplicate.
        redrop.push_back(queueTree(full, true, 2).seconds);
        q.push_back(queueTree(quarter, true, 1).seconds);
        h.push_back(queueTree(half, true, 1).seconds);
    }
    const double perFileQuarter = median(q) / (files / 4);
    const double perFileFull = median(warm) / files;
    const std::string n = std::to_string(files);
    std::printf("%-52s %10s %12s\n", "case (median of runs)", "seconds", "us per file");
    auto row = [](const std::string& label, double seconds, int count) {
        std::printf("%-52s %10.3f %12.1f\n", label.c_str(), seconds, seconds * 1e6 / count);
    };
    row("queue " + n + " photos, cold cache, date taken read", median(cold), files);
    row("queue " + n + " photos, warm cache, date taken read", median(warm), files);
    row("queue " + n + " photos, warm cache, no date reader", median(withoutDate), files);
    row("queue " + std::to_string(files / 2) + " photos, warm cache, date taken read", median(h), files / 2);
    row("queue " + std::to_string(files / 4) + " photos, warm cache, date taken read", median(q), files / 4);
    row("drop the same tree again (all duplicates)", median(redrop), files);
    std::printf("rows queued: %zu of %d; photo files %lld bytes each (EXIF block and picture %zu bytes)\n",
                rows, files, static_cast<long long>(kPhotoBytes), photo.size());
    std::printf("first pages still in memory after eviction: %zu of %d\n", stillResident, files);
    std::printf("queue-intake: files=%d cold_seconds=%.3f warm_seconds=%.3f seconds_without_date=%.3f "
                "duplicate_redrop_seconds=%.3f per_file_growth_full_vs_quarter=%.2f\n",
                files, median(cold), median(warm), median(withoutDate), median(redrop),
                perFileFull / perFileQuarter);
    return rows == static_cast<std::size_t>(files) ? 0 : 1;
}
