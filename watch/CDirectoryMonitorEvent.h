// The watch half of the directory monitor: a thread that waits for change notifications of one
// directory and its subtree and forwards each change to the callback. It contains the file-list half
// (CDirectoryMonitor) and shares its events: every notification also wakes the file-list thread.
#pragma once

#include "watch/CDirectoryMonitor.h"
#include "watch/IDirMon.h"

#include <boost/shared_ptr.hpp>
#include <boost/thread.hpp>

#include <atomic>
#include <cstdint>
#include <future>
#include <string>
#include <vector>

namespace platform
{
class CDirectoryWatch;
struct SDirectoryChange;
} // namespace platform

class CDirectoryMonitorEvent : public IDirMon
{
public:
    struct SThisHolder
    {
        CDirectoryMonitorEvent* m_pThis = nullptr;
        boost::shared_ptr<SMonitorEvents> m_pEvents;           // stop, wake and the callback
        boost::shared_ptr<platform::CDirectoryWatch> m_pWatch; // this thread's own watch
        std::wstring m_szDirectory;
        std::promise<void> m_opened;          // fulfilled once the watch is in place (or failed to open)
        std::atomic<bool> m_bRootGone{false}; // the thread ended because the directory went away
    };

    CDirectoryMonitorEvent();
    // Stops the watch thread (joined for at most 1 second), then the file-list half.
    ~CDirectoryMonitorEvent() override;
    CDirectoryMonitorEvent(const CDirectoryMonitorEvent&) = delete;
    CDirectoryMonitorEvent& operator=(const CDirectoryMonitorEvent&) = delete;

    // Stores the callback (not owned) and watches szDirectory, unless it watches that directory
    // (compared without regard to case) already; a watch of another directory is stopped first, and
    // so is a watch whose directory was deleted or moved away (the path may name a new one now).
    // Returns once the new watch is in place on the whole subtree (or failed to open and was
    // logged), so that every change made after the return is reported. Called by one thread (the
    // owner's).
    void Watch(IDirectoryMonitor* pCallback, const std::wstring& szDirectory);

    void SetParams(const SDirMonParams& params) override;
    void StartMonitoring(IDirectoryMonitor* pCallback, const SDirMonParams& params) override;

    // Forwards one change to the callback and wakes the file-list half. Called on the watch thread.
    static void HandleChange(SMonitorEvents& events, const platform::SDirectoryChange& change);

private:
    void StopWatch();
    static uint32_t WatchThreadProc(boost::shared_ptr<SThisHolder> pHolder);

    boost::shared_ptr<platform::CDirectoryWatch> m_pWatch; // the open watch, or none
    boost::shared_ptr<boost::thread> m_pWatchThread;
    boost::shared_ptr<SThisHolder> m_pHolder; // the watch thread's holder
    CDirectoryMonitor m_monitor;
};
