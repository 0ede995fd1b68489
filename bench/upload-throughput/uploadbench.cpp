// upload_bench FILE: uploads FILE once with HTTPMethodUpload to the service
// that QUAYLET_SERVICE_URL names, the way the transfer thread does (1024-byte
// pieces, progress and status text on every piece through the status-text
// limiter), and prints one line:
//
//   result=<api result> bytes=<file size> seconds=<wall> cpu_ms=<user+system> peak_kib=<max RSS>
//
// CPU time and wall time cover the upload call only; the peak RSS is the
// whole process's.

#include "api/uploadcall.h"
#include "transfer/delaymethodcall.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

class NullTarget final : public quaylet::IDelayMethodCaller {
public:
    void call(const std::string& text) override { last = text; }
    std::string last;
};

// Stands for the window: keeps what it is shown, like a progress bar and a
// status line would.
class BenchObserver final : public quaylet::IUploadObserver {
public:
    BenchObserver() { m_limiter.bind(&m_target); }
    void setProgressMaximum(int maximum) override { m_maximum = maximum; }
    void setProgressPosition(int percentage) override { m_position = percentage; }
    void setStatusTextLimited(const std::string& text) override { m_limiter.call(text); }
    void setStatusText(const std::string& text) override { m_status = text; }
    bool cancelRequested() const override { return false; }

private:
    quaylet::CDelayMethodCall m_limiter;
    NullTarget m_target;
    int m_maximum = 0;
    int m_position = 0;
    std::string m_status;
};

double cpuMs()
{
    rusage usage = {};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: upload_bench FILE\n");
        return 2;
    }
    struct stat info = {};
    if (::stat(argv[1], &info) != 0) {
        std::perror(argv[1]);
        return 2;
    }
    BenchObserver observer;
    const double cpuBefore = cpuMs();
    const auto start = std::chrono::steady_clock::now();
    const int result = quaylet::HTTPMethodUpload(observer, argv[1], "alice", "wonderland", quaylet::kMediaVideo, 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = cpuMs() - cpuBefore;
    rusage usage = {};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("result=%d bytes=%lld seconds=%.4f cpu_ms=%.1f peak_kib=%ld\n", result,
                static_cast<long long>(info.st_size), seconds, cpu, usage.ru_maxrss);
    return result == 1 ? 0 : 1;
}
