#pragma once

// The status-text target of the transfer thread's rate limiter: it puts the
// text into the window's status line, through the window's reactions.

#include "transfer/delaymethodcall.h"
#include "transfer/windowreactions.h"

namespace quaylet {

class CXFerUpdaeUICaller final : public IDelayMethodCaller {
public:
    CXFerUpdaeUICaller() = default;
    explicit CXFerUpdaeUICaller(IWindowReactions* window) : m_window(window) {}

    // Bound by the transfer thread before each upload; unbound, texts go nowhere.
    void bind(IWindowReactions* window) { m_window = window; }
    bool isBound() const { return m_window != nullptr; }

    void call(const std::string& text) override
    {
        if (m_window)
            m_window->setStatusText(text);
    }

private:
    IWindowReactions* m_window = nullptr;
};

} // namespace quaylet
