#include "platform/curlsupport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace quaylet::platform {

using namespace detail;

bool CheckInternetConnection(const std::string& url, std::chrono::milliseconds timeout, InternetError* error)
{
    GlobalInit();
    InternetError local;
    InternetError& err = error != nullptr ? *error : local;
    err = {};
    EasyPtr easy(curl_easy_init());
    if (!easy) {
        err = MakeError(InternetFailure::Other, 0, "cannot create a transfer");
        return false;
    }
    char errbuf[CURL_ERROR_SIZE] = {};
    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_CONNECT_ONLY, 1L);
    AllowWebProtocolsOnly(h);
    ApplyTrust(h);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errbuf);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout.count()));
    curl_easy_setopt(h, CURLOPT_NOPROXY, kLoopbackNoProxy);

    const AbortCheck abort = ThreadAbortCheck();
    bool ok = false;
    {
        Driver driver;
        if (!driver.attach(h)) {
            err = MakeError(InternetFailure::Other, 0, "cannot start the transfer");
            return false;
        }
        RunBounds bounds;
        bounds.noProgress = timeout;
        driver.restartProgressClock();
        const auto outcome = driver.run([] { return false; }, abort, bounds, err);
        if (outcome == Driver::Outcome::Done) {
            ok = driver.result() == CURLE_OK;
            if (!ok)
                err = FromCurl(driver.result(), errbuf, false);
        }
    }
    return ok;
}

namespace {

struct DownloadSink {
    std::FILE* file = nullptr;
    uint64_t written = 0;
    uint64_t limit = 0;
    bool tooLarge = false;
    bool writeFailed = false;
    int writeErrno = 0;
    Driver* driver = nullptr;

    static size_t onWrite(char* data, size_t size, size_t count, void* user)
    {
        auto* self = static_cast<DownloadSink*>(user);
        const std::size_t n = size * count;
        self->driver->markProgress();
        if (self->written + n > self->limit) {
            self->tooLarge = true;
            return 0;
        }
        if (std::fwrite(data, 1, n, self->file) != n) {
            self->writeFailed = true;
            self->writeErrno = errno;
            return 0;
        }
        self->written += n;
        return n;
    }
    static size_t onHeader(char*, size_t size, size_t count, void* user)
    {
        static_cast<DownloadSink*>(user)->driver->markProgress();
        return size * count;
    }
};

} // namespace

bool DownloadToFile(const std::string& url, const std::string& path, InternetError* error, uint64_t maxBytes)
{
    GlobalInit();
    InternetError local;
    InternetError& err = error != nullptr ? *error : local;
    err = {};

    // The reply goes to a private file next to the target and replaces it
    // only when complete, so a failed download never leaves half a picture.
    std::string temp = path + ".partXXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        err = MakeError(InternetFailure::File, errno, "cannot create " + temp + ": " + std::strerror(errno));
        return false;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        const int e = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        err = MakeError(InternetFailure::File, e, "cannot open " + temp);
        return false;
    }

    const InternetTimeouts timeouts = DefaultInternetTimeouts();
    const AbortCheck abort = ThreadAbortCheck();
    EasyPtr easy(curl_easy_init());
    bool ok = false;
    if (!easy) {
        err = MakeError(InternetFailure::Other, 0, "cannot create a transfer");
    } else {
        Driver driver;
        DownloadSink sink{file, 0, maxBytes, false, false, 0, &driver};
        char errbuf[CURL_ERROR_SIZE] = {};
        CURL* h = easy.get();
        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errbuf);
        AllowWebProtocolsOnly(h);
        ApplyTrust(h);
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
        curl_easy_setopt(h, CURLOPT_NOPROXY, kLoopbackNoProxy);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &DownloadSink::onWrite);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
        curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &DownloadSink::onHeader);
        curl_easy_setopt(h, CURLOPT_HEADERDATA, &sink);
        curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
        if (!driver.attach(h)) {
            err = MakeError(InternetFailure::Other, 0, "cannot start the transfer");
        } else {
            RunBounds bounds;
            bounds.noProgress = timeouts.noProgress;
            bounds.deadline = OverallDeadline(timeouts, 0);
            driver.restartProgressClock(timeouts.connect);
            const auto outcome = driver.run([] { return false; }, abort, bounds, err);
            if (outcome == Driver::Outcome::Done) {
                const CURLcode rc = driver.result();
                if (rc == CURLE_OK) {
                    ok = true;
                } else if (sink.tooLarge) {
                    err = MakeError(InternetFailure::Receive, static_cast<int>(rc),
                                    "the reply is larger than " + std::to_string(maxBytes) + " bytes");
                } else if (sink.writeFailed) {
                    err = MakeError(InternetFailure::File, sink.writeErrno, "cannot write " + temp);
                } else if (rc == CURLE_HTTP_RETURNED_ERROR) {
                    long status = 0;
                    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
                    err = MakeError(InternetFailure::HttpStatus, static_cast<int>(status),
                                    "HTTP status " + std::to_string(status));
                } else {
                    err = FromCurl(rc, errbuf, ConnectedYet(h));
                }
            }
        }
    }
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        err = MakeError(InternetFailure::File, errno, "cannot write " + temp);
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        err = MakeError(InternetFailure::File, errno, "cannot replace " + path + ": " + std::strerror(errno));
    }
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}

} // namespace quaylet::platform
