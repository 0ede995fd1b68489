#pragma once

// The runner for the video encoders: reads progress out of their output and
// shows it on the window's channel as "Encoding: NN%" and as the progress bar.
//
// Threads: OnChildOutput runs on the runner's reader thread; the owner (the
// transfer thread) moves the parser from one encoder to the next between runs.

#include "media/progressparser.h"
#include "media/redirector.h"
#include "transfer/delaymethodcall.h"
#include "transfer/windowreactions.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>

namespace quaylet {

class CConvertorsRedirector final : public CRedirector, public IDelayMethodCaller {
public:
    static constexpr uint32_t kImmediateFrom = 45; // from this percent on, texts skip the limiter

    // window may be null (nothing is shown); the clock is a seam for tests.
    CConvertorsRedirector(IWindowReactions* window, int32_t positionLimit, CDelayMethodCall::Clock clock = {});
    ~CConvertorsRedirector() override;

    // Moves on to the next encoder: the bar's share and the position limit.
    void SetStep(int32_t base, int32_t span);
    void SetPositionLimit(int32_t seconds);
    ProgressState State() const;

    // The highest percent shown so far (the bar never moves backwards).
    uint32_t ShownPercent() const;
    // Shows 100 % at once: the conversion has succeeded.
    void ShowFinished();
    // When the child last wrote anything (for spotting an encoder that hangs).
    std::chrono::steady_clock::time_point LastOutput() const;

    // The runner's handlers, public so that recorded output can be replayed.
    void OnChildOutput(const char* text) override;
    void OnRunnerError(const char* text) override;

    // IDelayMethodCaller: puts the text into the window's status line.
    void call(const std::string& text) override;

private:
    std::optional<uint32_t> Accept(uint32_t percent);
    void Show(uint32_t percent, bool forceText);

    IWindowReactions* const m_window;
    mutable std::mutex m_mutex; // guards m_state and m_shown
    ProgressState m_state;
    uint32_t m_shown = 0;
    std::mutex m_showMutex; // guards m_limiter and orders the window calls
    CDelayMethodCall m_limiter;
    std::atomic<std::chrono::steady_clock::rep> m_lastOutput;
};

} // namespace quaylet
