#include "xdndsource.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <functional>
#include <memory>
#include <poll.h>
#include <vector>

namespace quaylet::test {

namespace {

constexpr long kXdndVersion = 5;

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// A property read whole; empty when absent.
std::vector<unsigned long> ReadProperty(Display* display, Window window, Atom property, Atom type)
{
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> values;
    if (XGetWindowProperty(display, window, property, 0, 64, False, type, &actualType, &format, &count, &after,
                           &data) == Success &&
        data != nullptr) {
        if (format == 32) {
            const auto* longs = reinterpret_cast<const unsigned long*>(data);
            values.assign(longs, longs + count);
        }
        XFree(data);
    }
    return values;
}

class DragSource final {
public:
    DragSource(Display* display, Window target, std::string uriList)
        : m_display(display), m_target(target), m_uriList(std::move(uriList))
    {
        const auto atom = [display](const char* name) { return XInternAtom(display, name, False); };
        m_selection = atom("XdndSelection");
        m_enter = atom("XdndEnter");
        m_leave = atom("XdndLeave");
        m_position = atom("XdndPosition");
        m_status = atom("XdndStatus");
        m_drop = atom("XdndDrop");
        m_finished = atom("XdndFinished");
        m_copy = atom("XdndActionCopy");
        m_uriListType = atom("text/uri-list");
        m_targets = atom("TARGETS");
        m_source = XCreateSimpleWindow(display, DefaultRootWindow(display), -10, -10, 1, 1, 0, 0, 0);
        XSetSelectionOwner(display, m_selection, m_source, CurrentTime);
    }
    ~DragSource() { XDestroyWindow(m_display, m_source); }
    DragSource(const DragSource&) = delete;
    DragSource& operator=(const DragSource&) = delete;

    bool drop(std::string& why)
    {
        XWindowAttributes attributes{};
        Window child = None;
        int x = 0;
        int y = 0;
        if (!XGetWindowAttributes(m_display, m_target, &attributes) ||
            !XTranslateCoordinates(m_display, m_target, DefaultRootWindow(m_display), attributes.width / 2,
                                   attributes.height / 2, &x, &y, &child)) {
            why = "the window is gone";
            return false;
        }
        send(m_enter, {static_cast<long>(m_source), kXdndVersion << 24, static_cast<long>(m_uriListType), 0, 0});
        send(m_position, {static_cast<long>(m_source), 0, (static_cast<long>(x) << 16) | y, CurrentTime,
                          static_cast<long>(m_copy)});
        XClientMessageEvent status{};
        if (!waitFor(m_status, status)) {
            why = "no status answer to the drag";
            return false;
        }
        if ((status.data.l[1] & 1) == 0) {
            why = "the window refused the drag";
            send(m_leave, {static_cast<long>(m_source), 0, 0, 0, 0});
            return false;
        }
        send(m_drop, {static_cast<long>(m_source), 0, CurrentTime, 0, 0});
        XClientMessageEvent finished{};
        if (!waitFor(m_finished, finished)) {
            why = "the window did not finish the drop";
            return false;
        }
        return true;
    }

private:
    void send(Atom type, std::vector<long> data)
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = m_target;
        event.xclient.message_type = type;
        event.xclient.format = 32;
        for (std::size_t i = 0; i < data.size() && i < 5; ++i)
            event.xclient.data.l[i] = data[i];
        XSendEvent(m_display, m_target, False, NoEventMask, &event);
        XFlush(m_display);
    }

    // The target asks for the list (or for what can be had) while it takes the drop.
    void answer(const XSelectionRequestEvent& request)
    {
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.requestor = request.requestor;
        reply.xselection.selection = request.selection;
        reply.xselection.target = request.target;
        reply.xselection.time = request.time;
        reply.xselection.property = request.property == None ? request.target : request.property;
        if (request.target == m_uriListType) {
            XChangeProperty(m_display, request.requestor, reply.xselection.property, m_uriListType, 8,
                            PropModeReplace, reinterpret_cast<const unsigned char*>(m_uriList.data()),
                            static_cast<int>(m_uriList.size()));
        } else if (request.target == m_targets) {
            const Atom offered[] = {m_targets, m_uriListType};
            XChangeProperty(m_display, request.requestor, reply.xselection.property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(offered), 2);
        } else {
            reply.xselection.property = None;
        }
        XSendEvent(m_display, request.requestor, False, NoEventMask, &reply);
        XFlush(m_display);
    }

    bool waitFor(Atom type, XClientMessageEvent& message)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            while (XPending(m_display) > 0) {
                XEvent event{};
                XNextEvent(m_display, &event);
                if (event.type == SelectionRequest)
                    answer(event.xselectionrequest);
                else if (event.type == ClientMessage && event.xclient.message_type == type) {
                    message = event.xclient;
                    return true;
                }
            }
            pollfd connection{ConnectionNumber(m_display), POLLIN, 0};
            ::poll(&connection, 1, 50);
        }
        return false;
    }

    Display* m_display;
    Window m_target;
    std::string m_uriList;
    Window m_source = None;
    Atom m_selection, m_enter, m_leave, m_position, m_status, m_drop, m_finished, m_copy, m_uriListType, m_targets;
};

} // namespace

unsigned long FindDropWindow(long pid, int minWidth)
{
    const DisplayPtr display(XOpenDisplay(nullptr));
    if (!display)
        return 0;
    const Atom wmPid = XInternAtom(display.get(), "_NET_WM_PID", False);
    const Atom aware = XInternAtom(display.get(), "XdndAware", False);
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display.get(), DefaultRootWindow(display.get()), &root, &parent, &children, &count))
        return 0;
    unsigned long found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(display.get(), children[i], &attributes) || attributes.map_state != IsViewable ||
            attributes.width < minWidth)
            continue;
        const auto owner = ReadProperty(display.get(), children[i], wmPid, XA_CARDINAL);
        if (owner.size() == 1 && static_cast<long>(owner[0]) == pid &&
            !ReadProperty(display.get(), children[i], aware, AnyPropertyType).empty())
            found = children[i];
    }
    if (children != nullptr)
        XFree(children);
    return found;
}

bool DropUriList(unsigned long window, const std::string& uriList, std::string& why)
{
    const DisplayPtr display(XOpenDisplay(nullptr));
    if (!display) {
        why = "no display";
        return false;
    }
    DragSource source(display.get(), window, uriList);
    return source.drop(why);
}

} // namespace quaylet::test
