#pragma once

// The runner for the video encoders: reads progress out of their output and
// shows it on the window's channel as "Encoding: NN%" and as the progress bar.
// The reading and showing is done by an EncoderProgress that this runner
// shares with its reader thread (see encoderprogress.h).
//
// Threads: the reader thread delivers to the progress; the owner (the
// transfer thread) moves the parser from one encoder to the next between runs.

#include "media/encoderprogress.h"
#include "media/redirector.h"

#include <memory>

namespace quaylet {

class CConvertorsRedirector final : public CRedirector {
public:
    static constexpr uint32_t kImmediateFrom = EncoderProgress::kImmediateFrom;

    // window may be null (nothing is shown); the clock is a seam for tests.
    CConvertorsRedirector(IWindowReactions* window, int32_t positionLimit, CDelayMethodCall::Clock clock = {});
    // Stops the reader (at most 5000 ms), then lets go of the window.
    ~CConvertorsRedirector() override;

    // Moves on to the next encoder: the bar's share and the position limit.
    void SetStep(int32_t base, int32_t span) { m_progress->SetStep(base, span); }
    void SetPositionLimit(int32_t seconds) { m_progress->SetPositionLimit(seconds); }
    ProgressState State() const { return m_progress->State(); }

    // The highest percent shown so far (the bar never moves backwards).
    uint32_t ShownPercent() const { return m_progress->ShownPercent(); }
    // Shows 100 % at once: the conversion has succeeded.
    void ShowFinished() { m_progress->ShowFinished(); }
    // When the child last wrote anything (for spotting an encoder that hangs).
    std::chrono::steady_clock::time_point LastOutput() const { return m_progress->LastOutput(); }

    // The runner's handlers, public so that recorded output can be replayed.
    void OnChildOutput(const char* text) override { m_progress->OnChildOutput(text); }
    void OnRunnerError(const char* text) override { m_progress->OnRunnerError(text); }

private:
    const std::shared_ptr<EncoderProgress> m_progress;
};

} // namespace quaylet
