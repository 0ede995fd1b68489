#pragma once

// A window that only remembers what it was told, for tests of the engine's
// parts. Thread-safe; no call ever blocks beyond a short lock.

#include "transfer/windowreactions.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace quaylet {

struct WindowReaction {
    enum class Kind { Message, ProgressPosition, ProgressMaximum, StatusText, Balloon };
    Kind kind = Kind::Message;
    WindowMessage message = kMsgTransferState; // Message
    int64_t value = 0;                         // the message's parameter, or the position or maximum
    std::string text;                          // StatusText
    Balloon balloon;                           // Balloon
};

class CRecordingWindowReactions final : public IWindowReactions {
public:
    using Observer = std::function<void(const WindowReaction&)>;

    // The observer sees each reaction as it is recorded, on the calling thread.
    explicit CRecordingWindowReactions(Observer observer = {}) : m_observer(std::move(observer)) {}

    void sendMessage(WindowMessage message, int64_t parameter) override;
    void setProgressPosition(int position) override;
    void setProgressMaximum(int maximum) override;
    void setStatusText(const std::string& text) override;
    void showBalloon(const Balloon& balloon) override;

    std::vector<WindowReaction> reactions() const;
    // The messages in order, as (message, parameter).
    std::vector<std::pair<WindowMessage, int64_t>> messages() const;
    std::vector<std::string> statusTexts() const;
    std::vector<Balloon> balloons() const;
    // The last status text, or empty.
    std::string statusText() const;
    int progressPosition() const;
    void clear();

private:
    void record(WindowReaction reaction);

    Observer m_observer;
    mutable std::mutex m_mutex; // guards everything below
    std::vector<WindowReaction> m_reactions;
    int m_progressPosition = 0;
    int m_progressMaximum = 100;
};

} // namespace quaylet
