// quaylet-devserver: the Glimmerly service on one's own machine.
//
// The first line of standard output is the port it listens on (useful with
// --port 0); requests are logged to standard error. SIGINT and SIGTERM stop it
// cleanly.

#include "devserver/config.h"
#include "devserver/devserver.h"
#include "platform/internet.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace quaylet::devserver;

namespace {

void Usage(std::FILE* to)
{
    std::fputs("Usage: quaylet-devserver [options]\n"
               "  --config FILE    accounts, limits, notification, version file, faults\n"
               "                   (default: built-in accounts alice/wonderland and bob/builder)\n"
               "  --data DIR       where uploads are stored (default: ./devserver-data)\n"
               "  --host ADDR      address to listen on (default: 127.0.0.1)\n"
               "  --port N         port to listen on; 0 picks a free one (default: 8080)\n"
               "  --tls-cert FILE  serve https with this PEM certificate (needs --tls-key)\n"
               "  --tls-key FILE   the certificate's PEM private key\n"
               "  --fault FAULT    garbage[@Method], delay=MS[@Method], drop=N[@Method],\n"
               "                   rate=BYTES_PER_S[@Method] or reply=FILE[@Method];\n"
               "                   may be given more than once\n"
               "  --quiet          do not log requests\n"
               "  --help           this text\n",
               to);
}

} // namespace

int main(int argc, char* argv[])
{
    std::string configPath, dataDir = "devserver-data", host = "127.0.0.1";
    int port = 8080;
    bool quiet = false;
    std::vector<std::string> faultTexts;
    TlsFiles tls;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "quaylet-devserver: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--config")
            configPath = value();
        else if (arg == "--data")
            dataDir = value();
        else if (arg == "--host")
            host = value();
        else if (arg == "--port") {
            const std::string v = value();
            const auto p = quaylet::platform::ParsePortNumber(v);
            if (!p) {
                std::fprintf(stderr, "quaylet-devserver: bad port %s\n", v.c_str());
                return 2;
            }
            port = *p;
        } else if (arg == "--fault")
            faultTexts.push_back(value());
        else if (arg == "--tls-cert")
            tls.certificate = value();
        else if (arg == "--tls-key")
            tls.key = value();
        else if (arg == "--quiet")
            quiet = true;
        else if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "quaylet-devserver: unknown option %s\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }

    DevConfig config = DefaultConfig();
    if (!configPath.empty()) {
        std::string error;
        auto loaded = LoadConfig(configPath, error);
        if (!loaded) {
            std::fprintf(stderr, "quaylet-devserver: %s\n", error.c_str());
            return 2;
        }
        config = std::move(*loaded);
    }
    for (const std::string& fault : faultTexts) {
        std::string error;
        if (!ParseFault(fault, config.faults, error)) {
            std::fprintf(stderr, "quaylet-devserver: %s\n", error.c_str());
            return 2;
        }
    }

    // Signals are taken by one thread with sigwait, so the handler needs no
    // async-signal-safe tricks; every other thread inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (tls.certificate.empty() != tls.key.empty()) {
        std::fprintf(stderr, "quaylet-devserver: --tls-cert and --tls-key go together\n");
        return 2;
    }
    DevServer server(std::move(config), dataDir, tls);
    if (!quiet)
        server.setRequestLog([](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    std::string error;
    if (!server.bind(host, port, error)) {
        std::fprintf(stderr, "quaylet-devserver: %s\n", error.c_str());
        return 1;
    }
    std::printf("%d\n", server.port());
    std::printf("quaylet-devserver: serving %s (uploads in %s); set QUAYLET_SERVICE_URL=%s\n",
                server.origin().c_str(), dataDir.c_str(), server.origin().c_str());
    std::fflush(stdout);

    std::atomic<bool> selfWake{false};
    std::thread signalWatcher([&] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        if (!selfWake)
            std::fprintf(stderr, "quaylet-devserver: %s, stopping\n", sig == SIGINT ? "SIGINT" : "SIGTERM");
        server.stop();
    });
    server.run();
    // run() also ends when listening fails; the watcher then still waits. The
    // signal stays blocked everywhere, so it only reaches the watcher.
    selfWake = true;
    ::kill(::getpid(), SIGTERM);
    signalWatcher.join();
    std::fprintf(stderr, "quaylet-devserver: stopped\n");
    return 0;
}
