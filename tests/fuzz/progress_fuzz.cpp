// Encoder output: a run of chunks (cut at zero bytes, which the runner never
// delivers inside a chunk) read by the parser alone and by what shows it on
// the window, both starting from the state the first byte picks: which
// encoder, and the position limit of the first. The bar shown may never go
// back or past 100.

#include "fuzzsupport.h"
#include "media/encoderprogress.h"
#include "media/progressparser.h"

#include <chrono>
#include <cstdlib>

namespace {

class BarWatch final : public quaylet::IWindowReactions {
public:
    void sendMessage(quaylet::WindowMessage, int64_t) override {}
    void setProgressPosition(int position) override
    {
        if (position < m_position || position > 100)
            std::abort();
        m_position = position;
    }
    void setProgressMaximum(int) override {}
    void setStatusText(const std::string&) override {}
    void showBalloon(const quaylet::Balloon&) override {}

private:
    int m_position = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t setup = data[0];
    quaylet::ProgressState state;
    if (setup & 1) {
        state.base = 50;
        state.secondEncoder = (setup & 2) != 0;
    } else {
        state.positionLimit = (setup & 2) ? 600 : 120;
    }

    BarWatch window;
    // A clock that stands still keeps the text limiter's choices the same on every run.
    const auto now = std::chrono::steady_clock::time_point{};
    quaylet::EncoderProgress shown(&window, state.positionLimit, [now] { return now; });
    shown.SetStep(state.base, state.span);

    for (const std::string_view chunk : quaylet::fuzz::SplitInput(quaylet::fuzz::AsText(data + 1, size - 1), '\0')) {
        const std::string text(chunk);
        quaylet::ParseProgressChunk(state, text);
        shown.OnChildOutput(text.c_str());
    }
    shown.ShowFinished();
    return 0;
}
