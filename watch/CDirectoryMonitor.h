// The file-list half of the directory monitor: a thread that lists the files of a directory that
// match a set of masks, keeps a validation record for each, and repeats the checks until every file
// has passed or failed, telling the callback of every record it checks.
#pragma once

#include "watch/SDirMonParams.h"
#include "watch/SMonitorEvents.h"

#include <boost/shared_ptr.hpp>
#include <boost/thread.hpp>

#include <atomic>
#include <cstdint>
#include <string>

class IDirectoryMonitor;

class CDirectoryMonitor
{
public:
    struct SDirMonHolder
    {
        CDirectoryMonitor* m_pThis = nullptr;
        boost::shared_ptr<SMonitorEvents> m_pEvents;
        SDirMonParams m_params; // the settings the thread works with, copied at its start
        int32_t m_nSubfolderDepth = 1;
        std::atomic<bool> m_bRetired{false}; // set when a restart replaces this thread
    };

    CDirectoryMonitor();
    // Clears the callback, wakes and stops the file-list thread and joins it for at most 1 second.
    virtual ~CDirectoryMonitor();
    CDirectoryMonitor(const CDirectoryMonitor&) = delete;
    CDirectoryMonitor& operator=(const CDirectoryMonitor&) = delete;

    void SetParams(const SDirMonParams& params);
    // Copies the settings, stores the callback and (re)starts the file-list thread, which makes its
    // first pass at once. A thread already running is told to end (and joined for at most 1 second)
    // first, so that only one thread lists and reports at a time.
    void Start(IDirectoryMonitor* pCallback, const SDirMonParams& params);

    void SetCallback(IDirectoryMonitor* pCallback) { m_pEvents->m_pCallback.store(pCallback); }
    IDirectoryMonitor* GetCallback() const { return m_pEvents->m_pCallback.load(); }
    const std::wstring& GetDirectory() const { return m_szDirectory; }
    void SetDirectory(const std::wstring& szDirectory) { m_szDirectory = szDirectory; }
    const boost::shared_ptr<SMonitorEvents>& Events() const { return m_pEvents; }

    int32_t m_nMaxFiles = -1;
    int32_t m_nSubfolderDepth = 1;
    int32_t m_nReserved = 5;
    int32_t m_nCheckInterval = 500;   // milliseconds
    int32_t m_nValidationTimeout = 1; // seconds

private:
    static int32_t FileListThreadProc(boost::shared_ptr<SDirMonHolder> pHolder);

    std::wstring m_szDirectory;
    std::wstring m_szMasks;
    boost::shared_ptr<SMonitorEvents> m_pEvents;
    boost::shared_ptr<boost::thread> m_pThread;
    boost::shared_ptr<SDirMonHolder> m_pHolder; // the running thread's holder
};
