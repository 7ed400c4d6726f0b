// The main window as the X window system holds it, under a window manager:
// outer size and limits with the manager's frame, and titles. Run by
// run_under_x11.sh on a virtual display.
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "gui_fixture.h"

inline void PrintTo(const QSize& size, std::ostream* out) { *out << size.width() << " x " << size.height(); }

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

// A connection of its own: what the server holds, not what the toolkit believes.
class XServer {
public:
    XServer() : connection_(xcb_connect(nullptr, nullptr)) {}
    ~XServer() { xcb_disconnect(connection_); }
    bool Ok() const { return !xcb_connection_has_error(connection_); }

    // The property's 8- or 32-bit items; nothing when the window lacks it.
    template <class Item>
    std::optional<std::vector<Item>> Property(WId window, const char* name) {
        auto* reply = xcb_get_property_reply(
            connection_, xcb_get_property(connection_, 0, static_cast<xcb_window_t>(window), Atom(name),
                                          XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
            nullptr);
        std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> owned(reply, &std::free);
        if (!reply || reply->type == XCB_ATOM_NONE || reply->format != sizeof(Item) * 8) return std::nullopt;
        const auto* items = static_cast<const Item*>(xcb_get_property_value(reply));
        return std::vector<Item>(items, items + xcb_get_property_value_length(reply) / sizeof(Item));
    }
    std::optional<std::string> Text(WId window, const char* name) {
        auto bytes = Property<char>(window, name);
        if (!bytes) return std::nullopt;
        return std::string(bytes->begin(), bytes->end());
    }
    // What the manager's frame adds to the client area.
    std::optional<QSize> FrameSize(WId window) {
        auto extents = Property<std::uint32_t>(window, "_NET_FRAME_EXTENTS");
        if (!extents || extents->size() != 4) return std::nullopt;
        return QSize((*extents)[0] + (*extents)[1], (*extents)[2] + (*extents)[3]);
    }
    std::optional<QSize> OuterSize(WId window) {
        auto frame = FrameSize(window);
        auto* geometry = xcb_get_geometry_reply(
            connection_, xcb_get_geometry(connection_, static_cast<xcb_window_t>(window)), nullptr);
        std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> owned(geometry, &std::free);
        if (!frame || !geometry) return std::nullopt;
        return QSize(geometry->width, geometry->height) + *frame;
    }

private:
    xcb_atom_t Atom(const char* name) {
        auto* reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return atom;
    }
    xcb_connection_t* connection_;
};

class X11FormTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        ASSERT_TRUE(x.Ok());
    }
    // The outer size once the server holds `expected`, else the last one seen.
    QSize OuterSizeOnceItIs(QSize expected) {
        std::optional<QSize> seen;
        WaitFor([&] { return (seen = x.OuterSize(form->winId())) == expected; }, 30s);
        return seen.value_or(QSize());
    }
    XServer x;
};

TEST_F(X11FormTest, OuterFrameHasTheStatedSizeWithinTheLimits) {
    form->show();
    EXPECT_EQ(OuterSizeOnceItIs(QSize(610, 464)), QSize(610, 464)) << "as first shown";
    const struct {
        QSize asked, outer;
    } rows[] = {{{2000, 2000}, {710, 650}}, {{100, 100}, {610, 400}}, {{650, 500}, {650, 500}}};
    const QSize frame = x.FrameSize(form->winId()).value_or(QSize());
    for (const auto& row : rows) {
        form->resize(row.asked - frame);
        EXPECT_EQ(OuterSizeOnceItIs(row.outer), row.outer) << "asked " << row.asked.width() << "x" << row.asked.height();
    }
    EXPECT_EQ(form->Memo2->geometry(), QRect(12, 224, 577, 177));
}

TEST_F(X11FormTest, TitlesAreExactlyTheCaptionLines) {
    WriteBytes("port.ini", "SIM");
    window::ReplaceBoxHook({});  // the real box, to read its title from the server
    const struct {
        const char* captionFile;
        std::string windowTitle, boxTitle;
    } rows[] = {
        {"0\n1\n2\n3\nhelp\n\n6\n7\n8\n9\n10\n", "", ""},  // no line 11, empty line 5
        {"0\n1\n2\n3\nhelp\nHow &to\n6\n7\n8\n9\n10\nPump & tool\n", "Pump & tool", "How &to"},
    };
    for (const auto& row : rows) {
        WriteBytes("caption.txt", row.captionFile);
        form->LoadCaptions();
        form->show();
        std::optional<std::string> title, oldStyleTitle;
        WaitFor([&] {
            title = x.Text(form->winId(), "_NET_WM_NAME");
            oldStyleTitle = x.Text(form->winId(), "WM_NAME");
            return title == row.windowTitle && oldStyleTitle == row.windowTitle;
        }, 30s);
        EXPECT_EQ(title, row.windowTitle);
        EXPECT_EQ(oldStyleTitle, row.windowTitle);

        std::optional<std::string> boxTitle;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            closer.stop();
            WaitFor([&] { return (boxTitle = x.Text(box->winId(), "_NET_WM_NAME")) == row.boxTitle; }, 30s);
            box->button(QMessageBox::Ok)->click();
        });
        closer.start(20);
        form->About1Click();
        EXPECT_EQ(boxTitle, row.boxTitle);
    }
}

}  // namespace
