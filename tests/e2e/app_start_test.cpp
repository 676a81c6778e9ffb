// The built program starts for real in the tool namespace under a virtual X
// server: it binds its two UDP ports, shows its window with the exact caption,
// and exits with status 0 when that window is closed.
#include "netns_fixture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <thread>

#ifdef E2E_HAVE_X11
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

using namespace std::chrono_literals;

#ifdef COLLECTOR_UPGRADE_PATH
namespace {

const char* const kCaption = "采集器程序升级工具";

bool OnPath(const std::string& program) {
    return e2e::RunCommand({"sh", "-c", "command -v " + program}) == 0;
}

// True when `ss -uln` in the tool namespace lists both local ports.
bool BindsBothPorts(const e2e::NetnsFixture& net, std::string& listing) {
    net.RunInTool({"ss", "-ulnH"}, &listing);
    return listing.find(":8000 ") != std::string::npos && listing.find(":23 ") != std::string::npos;
}

#ifdef E2E_HAVE_X11
std::string WindowName(Display* display, Window window) {
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count,
                           &after, &data) == Success &&
        data != nullptr) {
        name.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    return name;
}

Window FindByCaption(Display* display, Window root, const std::string& caption) {
    if (WindowName(display, root) == caption)
        return root;
    Window parent = 0, unusedRoot = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, root, &unusedRoot, &parent, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i)
        found = FindByCaption(display, children[i], caption);
    if (children != nullptr)
        XFree(children);
    return found;
}

// Asks the window to close the way a window manager's close button does.
void SendDelete(Display* display, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}
#endif

} // namespace
#endif

TEST(ProgramStart, InToolNamespace_BindsBothPortsShowsCaptionAndExitsZeroOnClose) {
#ifndef COLLECTOR_UPGRADE_PATH
    GTEST_SKIP() << "the program is not part of this build";
#else
    E2E_REQUIRE_NAMESPACES();
    if (!OnPath("xvfb-run") || !OnPath("xauth"))
        GTEST_SKIP() << "xvfb-run or xauth is not installed (apt-get install xvfb xauth)";
    e2e::NetnsFixture net(e2e::FieldRange(10, 10));
    ASSERT_TRUE(net.Ok()) << net.Error();

    // -ac: no access control on this private server, so the check below can
    // connect without the cookie. The display number goes to a file.
    const std::string displayFile = net.ScratchDir() + "/display";
    const pid_t program =
        net.SpawnInTool({"xvfb-run", "-a", "-s", "-ac -screen 0 1024x768x24", "sh", "-c",
                         "echo \"$DISPLAY\" > '" + displayFile +
                             "'; unset QT_QPA_PLATFORM; exec '" COLLECTOR_UPGRADE_PATH "'"});
    ASSERT_GT(program, 0);

    std::string listing;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!BindsBothPorts(net, listing) && std::chrono::steady_clock::now() < deadline) {
        ASSERT_FALSE(net.WaitExit(program, 0ms)) << "the program ended at start:\n"
                                                 << net.LogOf(program);
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(BindsBothPorts(net, listing)) << "ss -uln in the tool namespace:\n"
                                              << listing << "\nprogram output:\n"
                                              << net.LogOf(program);
    EXPECT_FALSE(net.WaitExit(program, 300ms)) << "the program must keep running:\n"
                                               << net.LogOf(program);

#ifdef E2E_HAVE_X11
    ASSERT_TRUE(e2e::WaitForFile(displayFile, 5s));
    std::string display = e2e::ReadFile(displayFile);
    display.erase(display.find_last_not_of(" \n") + 1);
    Window window = 0;
    {
        // Xvfb listens on an abstract socket of the tool namespace too; talk from there.
        e2e::NetnsFixture::InNamespace in(net.ToolNamespace());
        ASSERT_TRUE(in.Ok());
        Display* x = XOpenDisplay(display.c_str());
        ASSERT_NE(x, nullptr) << "cannot open display " << display;
        const auto shown = std::chrono::steady_clock::now() + 10s;
        while ((window = FindByCaption(x, DefaultRootWindow(x), kCaption)) == 0 &&
               std::chrono::steady_clock::now() < shown)
            std::this_thread::sleep_for(100ms);
        EXPECT_NE(window, 0u) << "no window captioned " << kCaption;
        if (window != 0)
            SendDelete(x, window);
        XCloseDisplay(x);
    }
    if (window != 0) {
        EXPECT_EQ(net.WaitExit(program, 10s), 0)
            << "closing the window must end the program with 0:\n"
            << net.LogOf(program);
    }
#else
    std::cout << "[ INFO ] built without Xlib: caption and close not checked\n";
#endif
    // Whatever is still running (the program if it did not close, Xvfb) goes here.
    net.Terminate(program, 2s);
#endif
}
