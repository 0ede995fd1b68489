#pragma once

// The status-text target of the transfer thread's rate limiter: it puts the
// text into the window's status line, through the window's reactions.

#include "transfer/delaymethodcall.h"
#include "transfer/windowreactions.h"

namespace quaylet {

class CXFerUpdaeUICaller final : public IDelayMethodCaller {
public:
    // Made by the transfer thread for each upload; without a window, texts go nowhere.
    explicit CXFerUpdaeUICaller(IWindowReactions* window) : m_window(window) {}

    void call(const std::string& text) override
    {
        if (m_window)
            m_window->setStatusText(text);
    }

private:
    IWindowReactions* m_window = nullptr;
};

} // namespace quaylet
