// The events and the callback that the directory monitor's two threads share. Each thread holds a
// reference, so a thread that was let go after a timed join still finds them valid.
#pragma once

#include "platform/KernelObjects.h"

#include <atomic>

class IDirectoryMonitor;

struct SMonitorEvents
{
    // Creates the stop event (manual reset) and the wake event (auto reset), both not set.
    SMonitorEvents();
    // Closes both events.
    ~SMonitorEvents();
    SMonitorEvents(const SMonitorEvents&) = delete;
    SMonitorEvents& operator=(const SMonitorEvents&) = delete;

    platform::HANDLE m_hStop;
    platform::HANDLE m_hWake;
    std::atomic<IDirectoryMonitor*> m_pCallback{nullptr}; // not owned; null: nobody is told
};
