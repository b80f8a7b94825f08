// The tray program's two desktop figures, measured in a private Xvfb with the trayer tray host:
//  - start to docked: from spawning tarvik to the moment its icon window is mapped inside the tray
//    host (polled over the X connection every 2 ms);
//  - idle resident memory: VmRSS of the process, sampled for some seconds once the icon docked and the
//    engine ran its first passes (the largest sample).
//
//     bench_desktop [RUNS] [BIN_DIR]       (default 7 runs, the build's bin/)
//
// Runs as root (no start-up warning). Every process it starts is ended by its pid.
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace
{

// Starts the program with its output dropped; false when it cannot be started.
bool Spawn(CTestProcess& process, const std::vector<std::string>& args)
{
    CTestProcess::SOptions options;
    options.m_outputFile = "/dev/null";
    return process.Start(args, options);
}

// Asks the process to end; kills it when it has not ended within 2 seconds.
void End(CTestProcess& process)
{
    if (!process.Running())
        return;
    process.Signal(SIGTERM);
    int nResult = 0;
    if (!process.WaitFor(2000, nResult))
    {
        process.Kill();
        process.Wait();
    }
}

xcb_atom_t Atom(xcb_connection_t* c, const char* szName)
{
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, strlen(szName), szName), nullptr);
    const xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    free(r);
    return a;
}

bool IsTarvikIcon(xcb_connection_t* c, xcb_window_t w, xcb_window_t root)
{
    xcb_get_property_reply_t* p = xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64), nullptr);
    bool bMatch =
        p && xcb_get_property_value_length(p) >= 7 && memcmp(xcb_get_property_value(p), "tarvik\0", 7) == 0;
    free(p);
    if (!bMatch)
        return false;
    xcb_get_window_attributes_reply_t* a =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
    const bool bViewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
    free(a);
    xcb_query_tree_reply_t* t = xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr);
    const bool bEmbedded = t && t->parent != root;
    free(t);
    return bViewable && bEmbedded;
}

bool FindDocked(xcb_connection_t* c, xcb_window_t w, xcb_window_t root, int nDepth = 0)
{
    xcb_query_tree_reply_t* t = xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr);
    if (!t)
        return false;
    bool bFound = false;
    const xcb_window_t* pChildren = xcb_query_tree_children(t);
    for (int i = 0; i < xcb_query_tree_children_length(t) && !bFound; ++i)
        bFound = IsTarvikIcon(c, pChildren[i], root) ||
                 (nDepth < 4 && FindDocked(c, pChildren[i], root, nDepth + 1));
    free(t);
    return bFound;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int nRuns = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const fs::path binDir = argc > 2 ? fs::path(argv[2]) : fs::path(TARVIK_BIN_DIR);
    CIsolatedEnvironment environment;
    const CTempDir temp("bench-desktop");
    const fs::path root = temp.Path();
    fs::copy(binDir, root / "bin", fs::copy_options::recursive);
    for (const char* sz : {"tarvik.ini", "tarvik.log", "tarvik.old.log"})
        fs::remove(root / "bin" / sz);
    fs::create_directories(root / "in");
    fs::create_directories(root / "xdg");
    fs::permissions(root / "xdg", fs::perms::owner_all);

    // A display number that nobody uses; the server is ready once a client can connect.
    int nDisplay = 60;
    while (fs::exists("/tmp/.X11-unix/X" + std::to_string(nDisplay)) ||
           fs::exists("/tmp/.X" + std::to_string(nDisplay) + "-lock"))
        ++nDisplay;
    const std::string szDisplayName = ":" + std::to_string(nDisplay);
    CTestProcess xvfb;
    Spawn(xvfb, {"Xvfb", szDisplayName, "-screen", "0", "800x600x24", "-nolisten", "tcp", "-noreset"});
    environment.Set("DISPLAY", szDisplayName.c_str());
    xcb_connection_t* c = nullptr;
    for (auto tEnd = Clock::now() + 10s; Clock::now() < tEnd; std::this_thread::sleep_for(20ms))
    {
        c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c) == 0)
            break;
        xcb_disconnect(c);
        c = nullptr;
    }
    if (c == nullptr)
    {
        End(xvfb);
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    environment.Set("QT_QPA_PLATFORM", "xcb");
    environment.Set("QT_QPA_PLATFORMTHEME", "");
    environment.Set("XDG_RUNTIME_DIR", (root / "xdg").c_str());
    environment.Set("DBUS_SESSION_BUS_ADDRESS", nullptr);
    environment.Set("TARVIK_HEADLESS", nullptr);

    xcb_window_t xRoot = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    CTestProcess trayer;
    Spawn(trayer, {"trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24",
                   "--SetDockType", "true"});
    const xcb_atom_t aTray = Atom(c, "_NET_SYSTEM_TRAY_S0");
    bool bTray = false;
    for (auto tEnd = Clock::now() + 10s; !bTray && Clock::now() < tEnd; std::this_thread::sleep_for(10ms))
    {
        xcb_get_selection_owner_reply_t* r =
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, aTray), nullptr);
        bTray = r && r->owner != XCB_NONE;
        free(r);
    }

    std::vector<double> vDockMs, vRssMiB;
    for (int nRun = 0; bTray && nRun < nRuns; ++nRun)
    {
        const fs::path objects = root / ("obj" + std::to_string(nRun));
        environment.Set("TARVIK_OBJECTS_DIR", objects.c_str());
        const auto t0 = Clock::now();
        CTestProcess tarvik;
        Spawn(tarvik, {(root / "bin" / "tarvik").string()});
        bool bDocked = false;
        while (!bDocked && Clock::now() - t0 < 10s)
        {
            bDocked = FindDocked(c, xRoot, xRoot);
            if (!bDocked)
                std::this_thread::sleep_for(2ms);
        }
        if (bDocked)
            vDockMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        std::this_thread::sleep_for(2s); // start-up done, the engine idles
        long nMax = 0;
        for (int i = 0; i < 20; ++i, std::this_thread::sleep_for(100ms))
            nMax = std::max(nMax, tarvik.MemoryKiB("VmRSS"));
        vRssMiB.push_back(nMax / 1024.0);
        End(tarvik);
        std::printf("run %d: docked %s %.0f ms, idle RSS %.1f MiB\n", nRun + 1,
                    bDocked ? "after" : "NOT within", bDocked ? vDockMs.back() : 10000.0, vRssMiB.back());
    }
    xcb_disconnect(c);
    End(trayer);
    End(xvfb);
    if (!bTray)
    {
        std::fprintf(stderr, "the tray host did not start\n");
        return 1;
    }
    std::printf("start to docked icon: median %.0f ms, max %.0f ms (%zu of %d runs docked)\n",
                Median(vDockMs), vDockMs.empty() ? 0 : *std::max_element(vDockMs.begin(), vDockMs.end()),
                vDockMs.size(), nRuns);
    std::printf("idle resident memory: median %.1f MiB, max %.1f MiB\n", Median(vRssMiB),
                *std::max_element(vRssMiB.begin(), vRssMiB.end()));
    return 0;
}
