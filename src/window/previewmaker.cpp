#include "window/previewmaker.h"

#include "media/previewpicture.h"
#include "media/videoconversion.h"

#include <chrono>
#include <utility>

namespace quaylet {

namespace {

// A still frame must not keep the window waiting at exit for long.
constexpr std::chrono::seconds kStillFrameBound{5};

} // namespace

CPreviewMaker::CPreviewMaker(std::function<void(PreviewAnswer)> answer)
    : m_answer(std::move(answer)), m_thread([this] { run(); })
{
}

CPreviewMaker::~CPreviewMaker()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_waiting.reset();
    }
    m_wake.notify_all();
    m_thread.join();
}

void CPreviewMaker::request(PreviewRequest request)
{
    {
        std::lock_guard lock(m_mutex);
        m_waiting = std::move(request);
    }
    m_wake.notify_all();
}

void CPreviewMaker::run()
{
    for (;;) {
        PreviewRequest next;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || m_waiting.has_value(); });
            if (m_stopping)
                return;
            next = std::move(*m_waiting);
            m_waiting.reset();
        }
        m_answer(make(next));
    }
}

PreviewAnswer CPreviewMaker::make(const PreviewRequest& request) const
{
    PreviewAnswer answer;
    answer.generation = request.generation;
    answer.video = request.video;
    answer.picturePath = request.path;
    // The encoder writes one frame, numbered 1; the still's name differs from
    // video to video by the preview counter.
    if (request.video && !MakeVideoPreview(1, answer.picturePath, 2, kStillFrameBound))
        return answer;
    answer.picture = DecodePreviewPicture(answer.picturePath, request.box.width(), request.box.height());
    return answer;
}

} // namespace quaylet
