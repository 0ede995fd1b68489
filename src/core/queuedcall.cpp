#include "core/queuedcall.h"

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace quaylet::detail {

namespace {
#if defined(__SANITIZE_THREAD__)
char gQueuedCallHandOver; // only its address is used: the sanitizer's mark
#endif
} // namespace

void MarkQueuedCallPosted()
{
#if defined(__SANITIZE_THREAD__)
    __tsan_release(&gQueuedCallHandOver);
#endif
}

void MarkQueuedCallRunning()
{
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(&gQueuedCallHandOver);
#endif
}

} // namespace quaylet::detail
