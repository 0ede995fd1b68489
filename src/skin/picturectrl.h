#pragma once

// Shows a picture file fitted into a black box, and cross-fades from one
// picture to the next on a timer, so the window stays responsive meanwhile.

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <string>

namespace quaylet {

class CPictureCtrl final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CPictureCtrl)

public:
    explicit CPictureCtrl(QWidget* parent = nullptr);
    ~CPictureCtrl() override;

    // path in the file system's bytes. An empty path drops the picture
    // without repainting and succeeds; otherwise the file's picture replaces
    // the held one and the result says whether it loaded (when it did not,
    // the box stays black). A fade in progress ends at once first.
    bool LoadPicture(const std::string& path);

    // Fades from the shown picture to the file's in 11 frames, durationMs / 10
    // apart, then holds the new picture (none when the file did not load, so
    // the fade ends in black). A fade in progress ends at once first.
    void FadeToPicture(const std::string& path, int durationMs);
    // The same with a picture decoded elsewhere (a null one fades to black).
    // Large pictures are best decoded at about the control's size: the
    // control keeps what it is given.
    void FadeToImage(QImage picture, int durationMs);
    // Holds the picture and shows it, without a fade.
    void ShowImage(QImage picture);

    bool HasPicture() const { return !m_image.isNull(); }
    // The held picture's pixels (not its fitted size on the screen).
    QSize PictureSize() const { return m_image.size(); }
    bool IsFading() const { return m_fadeFrame >= 0; }

Q_SIGNALS:
    // Frame k (0 to 10) of a fade is on the screen.
    void fadeFrameShown(int k);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ShowFadeFrame();
    void NextFadeFrame();
    void FinishFade();

    QImage m_image; // the held picture; null when none, and while fading
    // While fading: the picture faded to, the two fitted pictures (box-sized,
    // the old one replacing the held picture), the frame on the screen and
    // its number (-1 when no fade runs).
    QImage m_fadeTarget;
    QImage m_oldPicture;
    QImage m_newPicture;
    QImage m_frame;
    int m_fadeFrame = -1;
    QTimer m_fadeTimer;
};

} // namespace quaylet
