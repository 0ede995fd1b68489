#include "skin/smoothprogress.h"

#include "widgetevents.h"

#include <QEvent>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace quaylet {
namespace {

using test::Backdrop;
using test::Rendered;

const QColor kBackground(Qt::white);
const QColor kBar(0, 0, 200);
const QColor kBorder(Qt::black);

struct ProgressFixture {
    Backdrop backdrop;
    CSmoothProgress progress{&backdrop};

    ProgressFixture()
    {
        progress.setGeometry(10, 10, 102, 12);
        static_cast<ISkinProgress&>(progress).setColors(kBackground, kBar, kBorder);
        progress.show();
    }
    // Bar pixels along the middle row, the border excluded.
    int BarLength()
    {
        const QImage image = Rendered(progress);
        int length = 0;
        for (int x = 1; x < image.width() - 1; ++x) {
            length += image.pixelColor(x, 6) == kBar ? 1 : 0;
        }
        return length;
    }
};

TEST(SmoothProgressTest, RefusesAPositionAboveTheMaximumAndDrawsNoBarWithoutMaximum)
{
    ProgressFixture f;
    EXPECT_EQ(f.BarLength(), 0);
    f.progress.SetMaximum(100);
    EXPECT_EQ(f.progress.SetPos(50), 50);
    EXPECT_EQ(f.BarLength(), 50); // from x 1 to 102 * 50 / 100 = 51, exclusive
    EXPECT_EQ(f.progress.SetPos(100), 100);
    EXPECT_EQ(f.BarLength(), 100);
    EXPECT_EQ(f.progress.SetPos(101), -1);
    EXPECT_EQ(f.progress.Pos(), 100);
    EXPECT_EQ(f.BarLength(), 100);

    f.progress.SetMaximum(0);
    EXPECT_EQ(f.BarLength(), 0);
    EXPECT_EQ(f.progress.SetPos(1), -1);
    EXPECT_EQ(f.progress.SetPos(-5), -5);
    EXPECT_EQ(f.BarLength(), 0);
    EXPECT_EQ(Rendered(f.progress).pixelColor(0, 6), kBorder);
}

// Records on which thread every paint of a widget runs.
class PaintThreads final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            const std::lock_guard lock(mutex);
            threads.push_back(QThread::currentThread());
        }
        return QObject::eventFilter(watched, event);
    }
    std::mutex mutex;
    std::vector<QThread*> threads; // guarded by mutex
};

TEST(SmoothProgressTest, PositionsFromAnotherThreadArePaintedOnTheWindowThread)
{
    ProgressFixture f;
    PaintThreads paints;
    f.progress.installEventFilter(&paints);
    std::atomic<int> refused{0};
    std::thread worker([&] {
        f.progress.SetMaximum(100);
        for (int position = 0; position <= 70; ++position) {
            refused += f.progress.SetPos(position) < 0 ? 1 : 0;
        }
        refused += f.progress.SetPos(101) < 0 ? 0 : 1;
    });
    worker.join();
    EXPECT_EQ(refused.load(), 0);
    EXPECT_EQ(f.progress.Pos(), 70);
    ASSERT_TRUE(test::WaitUntil([&] {
        const std::lock_guard lock(paints.mutex);
        return !paints.threads.empty();
    })) << "the window thread never repainted the bar";
    const std::lock_guard lock(paints.mutex);
    for (QThread* thread : paints.threads) {
        EXPECT_EQ(thread, f.progress.thread());
    }
}

} // namespace
} // namespace quaylet
