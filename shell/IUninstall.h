// The application's part in an uninstall: the call-back that the uninstall procedure makes before the
// product is removed.
#pragma once

class IUninstall
{
public:
    virtual ~IUninstall() = default;

    // Deregisters the application (its autostart entry) and asks a running instance to quit. Called
    // once, on the main thread, before any window exists.
    virtual void PrepareUninstall() = 0;
};
