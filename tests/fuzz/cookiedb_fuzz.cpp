// Browser cookie databases: the input is written as the database file and
// read as each browser family's store; it is also taken as one encrypted
// cookie value.

#include "fuzzsupport.h"
#include "browsercookies/browsercookiedb.h"
#include "browsercookies/chromiumcrypt.h"

#include <ctime>

namespace {

constexpr std::time_t kNow = 1'700'000'000; // fixed, so that every run is the same

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    quaylet::fuzz::ScratchDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view bytes = quaylet::fuzz::AsText(data, size);
    const std::string database = quaylet::fuzz::ScratchPath("cookies.sqlite");
    quaylet::fuzz::WriteInput(database, bytes);

    quaylet::browsercookies::ReadFirefoxCookies(database, kNow);
    const quaylet::browsercookies::CookieAddress address{true, "www.glimmerly.example", "/"};
    const auto keyringPassword = [] { return std::optional<std::string>("keyring password"); };
    quaylet::browsercookies::ReadChromiumCookies(database, kNow, address, keyringPassword,
                                                 [](const std::string&) {});

    quaylet::browsercookies::ClassifyChromiumValue(bytes);
    for (const bool digest : {false, true})
        quaylet::browsercookies::DecryptChromiumValue(bytes, quaylet::browsercookies::kChromiumFixedPassword, digest);
    return 0;
}
