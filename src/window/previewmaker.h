#pragma once

// Makes the drop window's previews on a thread of its own: a video's still
// frame (an encoder run) and the decoding of the picture at the size of the
// preview box. Only the newest request counts: one that is still waiting when
// a newer one comes is dropped unmade.
//
// Threads: request() on the window thread; the answer is called on the maker's
// thread, which the answer's receiver must hand over to its own.

#include <QImage>
#include <QSize>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace quaylet {

struct PreviewRequest {
    uint64_t generation = 0; // handed back, so that a stale answer can be told
    std::string path;
    bool video = false;
    QSize box;          // in device pixels
};

struct PreviewAnswer {
    uint64_t generation = 0;
    bool video = false;
    std::string picturePath; // the photo, or the video's still frame
    QImage picture;          // null: nothing could be made
};

class CPreviewMaker final {
public:
    explicit CPreviewMaker(std::function<void(PreviewAnswer)> answer);
    // Waits for the preview being made, a still frame's encoder run at most.
    ~CPreviewMaker();
    CPreviewMaker(const CPreviewMaker&) = delete;
    CPreviewMaker& operator=(const CPreviewMaker&) = delete;

    void request(PreviewRequest request);

private:
    void run();
    PreviewAnswer make(const PreviewRequest& request) const;

    const std::function<void(PreviewAnswer)> m_answer;
    std::mutex m_mutex;              // guards m_waiting and m_stopping
    std::condition_variable m_wake;  // either changed
    std::optional<PreviewRequest> m_waiting;
    bool m_stopping = false;
    std::thread m_thread; // last: starts once everything above exists
};

} // namespace quaylet
