#include "support/recordingwindowreactions.h"

namespace quaylet {

void CRecordingWindowReactions::record(WindowReaction reaction)
{
    {
        std::lock_guard lock(m_mutex);
        m_reactions.push_back(reaction);
    }
    if (m_observer)
        m_observer(reaction);
}

void CRecordingWindowReactions::sendMessage(WindowMessage message, int64_t parameter)
{
    WindowReaction r;
    r.kind = WindowReaction::Kind::Message;
    r.message = message;
    r.value = parameter;
    record(std::move(r));
}

void CRecordingWindowReactions::setProgressPosition(int position)
{
    {
        std::lock_guard lock(m_mutex);
        // Like the progress bar: a position above the maximum is refused.
        if (position > m_progressMaximum)
            return;
        m_progressPosition = position;
    }
    WindowReaction r;
    r.kind = WindowReaction::Kind::ProgressPosition;
    r.value = position;
    record(std::move(r));
}

void CRecordingWindowReactions::setProgressMaximum(int maximum)
{
    {
        std::lock_guard lock(m_mutex);
        m_progressMaximum = maximum;
    }
    WindowReaction r;
    r.kind = WindowReaction::Kind::ProgressMaximum;
    r.value = maximum;
    record(std::move(r));
}

void CRecordingWindowReactions::setStatusText(const std::string& text)
{
    WindowReaction r;
    r.kind = WindowReaction::Kind::StatusText;
    r.text = text;
    record(std::move(r));
}

void CRecordingWindowReactions::showBalloon(const Balloon& balloon)
{
    WindowReaction r;
    r.kind = WindowReaction::Kind::Balloon;
    r.balloon = balloon;
    record(std::move(r));
}

std::vector<WindowReaction> CRecordingWindowReactions::reactions() const
{
    std::lock_guard lock(m_mutex);
    return m_reactions;
}

std::vector<std::pair<WindowMessage, int64_t>> CRecordingWindowReactions::messages() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::pair<WindowMessage, int64_t>> out;
    for (const auto& r : m_reactions) {
        if (r.kind == WindowReaction::Kind::Message)
            out.emplace_back(r.message, r.value);
    }
    return out;
}

std::vector<std::string> CRecordingWindowReactions::statusTexts() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    for (const auto& r : m_reactions) {
        if (r.kind == WindowReaction::Kind::StatusText)
            out.push_back(r.text);
    }
    return out;
}

std::vector<Balloon> CRecordingWindowReactions::balloons() const
{
    std::lock_guard lock(m_mutex);
    std::vector<Balloon> out;
    for (const auto& r : m_reactions) {
        if (r.kind == WindowReaction::Kind::Balloon)
            out.push_back(r.balloon);
    }
    return out;
}

std::string CRecordingWindowReactions::statusText() const
{
    std::lock_guard lock(m_mutex);
    for (auto it = m_reactions.rbegin(); it != m_reactions.rend(); ++it) {
        if (it->kind == WindowReaction::Kind::StatusText)
            return it->text;
    }
    return {};
}

int CRecordingWindowReactions::progressPosition() const
{
    std::lock_guard lock(m_mutex);
    return m_progressPosition;
}

void CRecordingWindowReactions::clear()
{
    std::lock_guard lock(m_mutex);
    m_reactions.clear();
}

} // namespace quaylet
