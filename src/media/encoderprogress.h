#pragma once

// What an encoder's output shows on the window's channel: progress read out of
// each chunk, "Encoding: NN%" (below 45 % at most one text every 0.2 s), and
// the progress bar.
//
// Shared by a CConvertorsRedirector and its reader thread, so that a handler
// call still blocked in the window when the runner gives up on its reader (and
// is destroyed) returns into live state. Once the runner has let go
// (Disconnect), no further window call starts; one already under way runs to
// its end, so the window must outlive the conversion's thread.
//
// Threads: OnChildOutput / OnRunnerError run on the reader thread; the owner
// (the transfer thread) moves the parser on between encoders.

#include "media/progressparser.h"
#include "media/redirector.h"
#include "transfer/delaymethodcall.h"
#include "transfer/windowreactions.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>

namespace quaylet {

class EncoderProgress final : public IChildOutputHandler, public IDelayMethodCaller {
public:
    static constexpr uint32_t kImmediateFrom = 45; // from this percent on, texts skip the limiter

    // window may be null (nothing is shown); the clock is a seam for tests.
    EncoderProgress(IWindowReactions* window, int32_t positionLimit, CDelayMethodCall::Clock clock = {});
    EncoderProgress(const EncoderProgress&) = delete;
    EncoderProgress& operator=(const EncoderProgress&) = delete;

    void SetStep(int32_t base, int32_t span);
    void SetPositionLimit(int32_t seconds);
    ProgressState State() const;
    uint32_t ShownPercent() const;
    void ShowFinished();
    std::chrono::steady_clock::time_point LastOutput() const;
    // No window call starts after this.
    void Disconnect();

    void OnChildOutput(const char* text) override;
    void OnRunnerError(const char* text) override;
    // IDelayMethodCaller: puts the text into the window's status line.
    void call(const std::string& text) override;

private:
    std::optional<uint32_t> Accept(uint32_t percent);
    void Show(uint32_t percent, bool forceText);
    // The window, or null once disconnected; called with m_showMutex held.
    IWindowReactions* WindowLocked() const;

    IWindowReactions* const m_window;
    std::atomic<bool> m_disconnected{false};
    mutable std::mutex m_mutex; // guards m_state and m_shown
    ProgressState m_state;
    uint32_t m_shown = 0;
    std::mutex m_showMutex; // guards m_limiter and orders the window calls
    CDelayMethodCall m_limiter;
    std::atomic<std::chrono::steady_clock::rep> m_lastOutput;
};

} // namespace quaylet
