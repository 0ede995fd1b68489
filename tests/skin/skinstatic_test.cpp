#include "skin/browserlink.h"
#include "skin/skinstatic.h"

#include "widgetevents.h"

#include <QFont>
#include <QPalette>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quaylet {
namespace {

using test::Backdrop;

// Records the addresses links open instead of starting a browser.
class OpenedLinks final {
public:
    OpenedLinks()
        : m_previous(SetBrowserOpener([this](const std::string& address) { addresses.push_back(address); }))
    {
    }
    ~OpenedLinks() { SetBrowserOpener(std::move(m_previous)); }
    OpenedLinks(const OpenedLinks&) = delete;
    OpenedLinks& operator=(const OpenedLinks&) = delete;

    std::vector<std::string> addresses;

private:
    BrowserOpener m_previous;
};

class ClickEvents final : public SkinStaticCallback::SkinStaticEvents {
public:
    explicit ClickEvents(bool handles) : m_handles(handles) {}
    void OnStaticClicked(bool& handled) override
    {
        EXPECT_FALSE(handled);
        ++calls;
        handled = m_handles;
    }
    int calls = 0;

private:
    bool m_handles;
};

TEST(SkinStaticTest, ClickOpensTheAddressOrTheTextUnlessTheEventsHandleIt)
{
    const std::string address = "https://www.glimmerly.example/account";
    const QString text = QStringLiteral("https://support.glimmerly.example/");
    struct Case {
        const char* what;
        bool link;
        std::string address;
        std::optional<bool> eventsHandle; // no value: no events object
        std::vector<std::string> opened;
        int eventCalls;
    };
    const Case cases[] = {
        {"link with address", true, address, std::nullopt, {address}, 0},
        {"link without address", true, "", std::nullopt, {text.toStdString()}, 0},
        {"events handle it", true, address, true, {}, 1},
        {"events pass it on", true, "", false, {text.toStdString()}, 1},
        {"plain label", false, address, false, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Backdrop backdrop;
        OpenedLinks links;
        CSkinStatic label(&backdrop);
        label.setGeometry(10, 10, 150, 20);
        label.setLink(c.link);
        label.SetLabelFont(QStringLiteral("Tahoma"), 80, false, false, false);
        label.SetText(text);
        label.SetAddress(c.address);
        ClickEvents events(c.eventsHandle.value_or(false));
        if (c.eventsHandle) {
            label.SetEvents(&events);
        }
        label.show();
        EXPECT_EQ(test::Press(label), c.link) << "a press on a link must not reach the dialog, which drags";
        test::Release(label);
        EXPECT_EQ(links.addresses, c.opened);
        EXPECT_EQ(events.calls, c.eventCalls);
        EXPECT_EQ(label.testAttribute(Qt::WA_TransparentForMouseEvents), !c.link)
            << "a plain label must let the dialog be dragged by it";

        if (c.link) {
            EXPECT_TRUE(label.focusPolicy() & Qt::TabFocus);
            test::Key(label, Qt::Key_Return);
            EXPECT_EQ(events.calls, 2 * c.eventCalls);
            EXPECT_EQ(links.addresses.size(), 2 * c.opened.size()) << "the keyboard opens it as a click does";
        }
    }
}

TEST(SkinStaticTest, LinkFlagAtFontTimeDecidesUnderlineAndClicks)
{
    struct Case {
        bool link, underline, plain, bold;
        bool underlined;
    };
    const Case cases[] = {
        {false, false, false, false, false}, {true, false, false, false, true},
        {false, true, false, true, true},    {true, false, true, false, false},
        {false, true, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "link " << c.link << " underline " << c.underline << " plain "
                                        << c.plain << " bold " << c.bold);
        CSkinStatic label;
        // Dressed as the skin engine dresses it.
        ISkinLabel& dressed = label;
        dressed.setLink(c.link);
        dressed.setTextColor(Qt::blue);
        dressed.setLabelFont(QStringLiteral("Tahoma"), 85, c.bold, c.underline, c.plain);
        EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(Qt::blue));
        EXPECT_EQ(label.font().underline(), c.underlined);
        EXPECT_EQ(label.font().weight(), c.bold ? 700 : 400);
        EXPECT_DOUBLE_EQ(label.font().pointSizeF(), 8.5);
        EXPECT_EQ(label.font().family(), QStringLiteral("Tahoma"));
    }

    // A link flag set after the font: no underline and no clicks.
    Backdrop backdrop;
    OpenedLinks links;
    CSkinStatic late(&backdrop);
    late.setGeometry(10, 10, 150, 20);
    late.SetLabelFont(QStringLiteral("Tahoma"), 80, false, false, false);
    late.setLink(true);
    late.SetText(QStringLiteral("https://www.glimmerly.example/"));
    late.show();
    test::Click(late);
    EXPECT_FALSE(late.font().underline());
    EXPECT_TRUE(links.addresses.empty());
}

TEST(SkinStaticTest, DrawsOnlyItsTextAndRepaintsTheSkinUnderItOnAChange)
{
    Backdrop backdrop;
    CSkinStatic label(&backdrop);
    label.setGeometry(20, 20, 150, 30);
    label.SetTextColour(Qt::red);
    label.SetLabelFont(QStringLiteral("Tahoma"), 100, true, false, false);
    label.show();

    backdrop.paints = 0;
    backdrop.painted = QRegion();
    label.SetText(QStringLiteral("Uploading"));
    EXPECT_TRUE((QRegion(label.geometry()) - backdrop.painted).isEmpty());

    const QImage window = test::Rendered(backdrop);
    EXPECT_EQ(window.pixelColor(165, 45), QColor(Qt::white)) << "the label painted a background";
    bool reddish = false;
    for (int y = 20; y < 50 && !reddish; ++y) {
        for (int x = 20; x < 170 && !reddish; ++x) {
            const QColor c = window.pixelColor(x, y);
            reddish = c.red() > 200 && c.green() < 100;
        }
    }
    EXPECT_TRUE(reddish) << "no text in the label's colour";
}

} // namespace
} // namespace quaylet
