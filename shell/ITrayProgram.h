// The desktop side of tarvik, as the tray module (libtarvik-tray.so beside the executable) offers it
// to the program: the tray icon, its menu, the settings form, the folder browser and message boxes
// as dialogs. The program itself links no desktop library; it loads the module only when it may run
// on a desktop.
//
// The module resolves the engine, the platform layer and the logger against the program that
// loaded it, so both share one copy of their state (the message-box presenter, the thread-message
// queues, the named objects, the logger's switches).
#pragma once

class CFMonitorApp;

class ITrayProgram
{
public:
    virtual ~ITrayProgram() = default;

    // True when a display can be reached (a display server answers, or a Qt platform was chosen by
    // hand). A display that is set but cannot be reached is named in one line on standard error.
    virtual bool DisplayReachable() = 0;

    // Sets up the desktop on the main thread: the application object (argc and argv must outlive
    // this object), message boxes as dialogs, and a watch on the main thread's message queue, whose
    // handle must exist.
    virtual void Open(int& argc, char** argv) = 0;

    // Creates the hidden tray dialog for the engine (not owned), fills its form from the settings and
    // shows the icon. After Open.
    virtual void ShowTray(CFMonitorApp* pEngine) = 0;

    // Runs the event loop until the user exits, another process asks this instance to quit, or a
    // quit request (SIGTERM, SIGINT) arrives. After ShowTray.
    virtual void RunLoop() = 0;

    // Removes the icon and the dialog, and gives message boxes back to the default presenter. Safe to
    // call more than once; the destructor calls it.
    virtual void Close() = 0;
};

// The module's one exported entry point, "TarvikCreateTrayProgram": a new object (the caller deletes
// it) when nVersion is the interface version the module was built with, else nullptr.
using PFCreateTrayProgram = ITrayProgram* (*)(int nVersion);
inline constexpr const char* kCreateTrayProgramName = "TarvikCreateTrayProgram";
inline constexpr int kTrayProgramVersion = 1;
