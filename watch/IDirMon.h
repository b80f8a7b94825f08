// The directory monitor's interface: take the settings, and start monitoring with a callback.
#pragma once

#include "watch/SDirMonParams.h"

class IDirectoryMonitor;

class IDirMon
{
public:
    virtual ~IDirMon() = default;
    // Copies the settings into the monitor.
    virtual void SetParams(const SDirMonParams& params) = 0;
    // Starts the file-list half and the watch of params.m_szDirectory; pCallback is not owned and
    // must stay valid until the monitor is destroyed.
    virtual void StartMonitoring(IDirectoryMonitor* pCallback, const SDirMonParams& params) = 0;
};
