#include "media/imageprep_perfectturn.h"

#include <turbojpeg.h>

#include <memory>

namespace quaylet::imageprep {

namespace {

struct TjHandleCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjHandleCloser>;

struct TjBufferFree {
    void operator()(unsigned char* buffer) const { tjFree(buffer); }
};
using TjBuffer = std::unique_ptr<unsigned char, TjBufferFree>;

std::string tjError(void* handle)
{
    return tjGetErrorStr2(handle);
}

// libjpeg-turbo completes a damaged JPEG with grey and reports a warning. Data
// that ends early is refused; milder warnings (stray bytes between markers,
// which some cameras write) leave a complete picture and are accepted.
bool acceptableWarning(void* handle)
{
    if (tjGetErrorCode(handle) != TJERR_WARNING)
        return false;
    const std::string message = tjError(handle);
    return message.find("remature end") == std::string::npos;
}

} // namespace

bool TurnJpegPerfectOnly(const Bytes& jpeg, int orientation, Bytes& out, std::string& error)
{
    static constexpr int kOperations[] = {TJXOP_NONE,      TJXOP_NONE,  TJXOP_HFLIP,
                                          TJXOP_ROT180,    TJXOP_VFLIP, TJXOP_TRANSPOSE,
                                          TJXOP_ROT90,     TJXOP_TRANSVERSE, TJXOP_ROT270};
    if (orientation < 2 || orientation > 8) {
        error = "no transformation for this orientation";
        return false;
    }
    TjHandle handle(tjInitTransform());
    if (!handle) {
        error = "no JPEG transformer";
        return false;
    }
    tjtransform transform{};
    transform.op = kOperations[orientation];
    transform.options = TJXOPT_PERFECT;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const int result = tjTransform(handle.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()), 1,
                                   &buffer, &size, &transform, 0);
    TjBuffer owned(buffer);
    if ((result != 0 && !acceptableWarning(handle.get())) || !owned || size == 0) {
        error = "lossless turn refused: " + tjError(handle.get());
        return false;
    }
    out.assign(owned.get(), owned.get() + size);
    return true;
}

} // namespace quaylet::imageprep
