#pragma once

// A function posted to another thread's event queue, made visible as a
// hand-over to the thread sanitizer.
//
// Qt's queue does order everything the posting thread did before the post
// before the function runs, but Debian's Qt is not built with the sanitizer:
// it cannot see that ordering, and takes the function's own captures, written
// by one thread and read by the other, for a race. QueuedCall marks the
// hand-over itself once the captures are written (its last member is made
// after the function) and takes it up first thing when it runs. The way back
// is marked too: Qt frees the call on whichever thread lets go of it last,
// the poster's included, so a run marks its end, and the freeing takes that
// up before the captures go (the mark is the first member destroyed). All queued
// calls share one mark, which orders a little more than each queue does: a
// real race between two threads may hide only when both also post to some
// queue in between. Without the sanitizer the marks are nothing.
//
//   QMetaObject::invokeMethod(receiver, QueuedCall([...] { ... }), Qt::QueuedConnection);

#include <utility>

namespace quaylet {

namespace detail {
void MarkQueuedCallPosted();
void MarkQueuedCallRunning();

// Made, copied or moved after the function beside it: its making marks the
// post. Destroyed before it: its end takes up the end of a run.
struct QueuedCallMark final {
    QueuedCallMark() { MarkQueuedCallPosted(); }
    QueuedCallMark(const QueuedCallMark&) { MarkQueuedCallPosted(); }
    QueuedCallMark(QueuedCallMark&&) noexcept { MarkQueuedCallPosted(); }
    QueuedCallMark& operator=(const QueuedCallMark&) = default;
    QueuedCallMark& operator=(QueuedCallMark&&) noexcept = default;
    ~QueuedCallMark() { MarkQueuedCallRunning(); }
};
} // namespace detail

template <typename Fn>
class QueuedCall final {
public:
    explicit QueuedCall(Fn fn) : m_fn(std::move(fn)) {}

    void operator()()
    {
        detail::MarkQueuedCallRunning();
        m_fn();
        detail::MarkQueuedCallPosted(); // for the thread that frees the call
    }

private:
    Fn m_fn;                       // first: written before the mark below
    detail::QueuedCallMark m_mark; // last
};

} // namespace quaylet
