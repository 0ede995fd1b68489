#pragma once

// Scaling of the photo's pixels to the size that is uploaded. Qt's smooth
// scaling averages areas, which blurs the detail a viewer looks for and lets
// fine patterns alias; a windowed-sinc filter keeps what the smaller size can
// show and drops what it cannot.

#include <QImage>

#include <cstdint>
#include <memory>

namespace quaylet::imageprep {

// The same scaling for a picture that arrives a row at a time, top to bottom,
// as a decoder gives it: only the rows the filter still needs are kept, never
// the whole source. Rows are Format_RGB32 (four bytes a pixel).
class RowResampler final {
public:
    // Not valid() for an empty source or size, or when memory runs out.
    RowResampler(int sourceWidth, int sourceHeight, int width, int height);
    ~RowResampler();
    RowResampler(const RowResampler&) = delete;
    RowResampler& operator=(const RowResampler&) = delete;

    bool valid() const;
    // The next source row, sourceWidth pixels; rows past the last are ignored.
    void addRow(const std::uint8_t* row);
    // Once every source row was given: the result, and the resampler is spent.
    // A null image before that.
    QImage takeResult();

private:
    bool complete() const;

    struct State;
    std::unique_ptr<State> m_state;
};

// `image` scaled to exactly width x height (both at least 1) with a separable
// Lanczos filter of three lobes, in Format_RGB32 (any alpha is dropped). A
// large reduction first averages whole blocks of pixels, down to two to four
// times the target, which costs little and changes the result less than the
// JPEG format's own reduced decoding does. A null image for an empty source or
// size, or when memory runs out.
QImage ResampleImage(const QImage& image, int width, int height);

} // namespace quaylet::imageprep
