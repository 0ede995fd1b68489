#include "media/convertorsredirector.h"

namespace quaylet {

CConvertorsRedirector::CConvertorsRedirector(IWindowReactions* window, int32_t positionLimit,
                                             CDelayMethodCall::Clock clock)
    : m_progress(std::make_shared<EncoderProgress>(window, positionLimit, std::move(clock)))
{
    SetOutputHandler(m_progress);
}

CConvertorsRedirector::~CConvertorsRedirector()
{
    Shutdown();
    // A reader cut off by Shutdown may still be inside a window call; it keeps
    // the progress alive, but must not start another call on a window that
    // outlives only the conversion.
    m_progress->Disconnect();
}

} // namespace quaylet
