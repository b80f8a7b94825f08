// The watch half of the directory monitor.
#include "watch/CDirectoryMonitorEvent.h"

#include "log/CLogger.h"
#include "log/ErrorCodes.h"
#include "platform/DirectoryWatch.h"
#include "platform/SysError.h"
#include "watch/IDirectoryMonitor.h"

#include <boost/algorithm/string/predicate.hpp>

#include <chrono>

namespace
{

// How long Watch waits for the watch thread to have its watch in place.
constexpr int kOpenWaitSeconds = 30;

} // namespace

CDirectoryMonitorEvent::CDirectoryMonitorEvent() = default;

CDirectoryMonitorEvent::~CDirectoryMonitorEvent()
{
    platform::SetEventObject(m_monitor.Events()->m_hStop);
    StopWatch();
    // m_monitor's destruction clears the callback and ends the file-list thread.
}

void CDirectoryMonitorEvent::StopWatch()
{
    if (m_pWatch)
        m_pWatch->Cancel(); // frees a thread blocked in its read, now and at every later read
    if (m_pWatchThread)
    {
        m_pWatchThread->try_join_for(boost::chrono::seconds(1));
        m_pWatchThread->detach(); // a thread that did not end keeps its own watch and events
        m_pWatchThread.reset();
    }
    m_pWatch.reset();
    m_pHolder.reset();
}

void CDirectoryMonitorEvent::Watch(IDirectoryMonitor* pCallback, const std::wstring& szDirectory)
{
    m_monitor.SetCallback(pCallback);
    if (m_pWatchThread && boost::algorithm::iequals(szDirectory, m_monitor.GetDirectory()) &&
        !m_pHolder->m_bRootGone.load())
        return;
    // Only this watch is cancelled; the shared stop event stays clear, so that the file-list half
    // keeps running while the watch moves to another directory.
    StopWatch();
    m_monitor.SetDirectory(szDirectory);
    boost::shared_ptr<SThisHolder> pHolder(new SThisHolder);
    pHolder->m_pThis = this;
    pHolder->m_pEvents = m_monitor.Events();
    pHolder->m_pWatch.reset(new platform::CDirectoryWatch);
    pHolder->m_szDirectory = szDirectory;
    m_pWatch = pHolder->m_pWatch;
    m_pHolder = pHolder;
    std::future<void> opened = pHolder->m_opened.get_future();
    m_pWatchThread.reset(new boost::thread(&CDirectoryMonitorEvent::WatchThreadProc, pHolder));
    // The watch thread opens the watch; a file created between this return and a later open would
    // otherwise go unreported. The bound only guards against a file system that hangs the walk.
    opened.wait_for(std::chrono::seconds(kOpenWaitSeconds));
}

void CDirectoryMonitorEvent::SetParams(const SDirMonParams& params)
{
    m_monitor.SetParams(params);
}

void CDirectoryMonitorEvent::StartMonitoring(IDirectoryMonitor* pCallback, const SDirMonParams& params)
{
    m_monitor.Start(pCallback, params);
    Watch(pCallback, params.m_szDirectory);
}

void CDirectoryMonitorEvent::HandleChange(SMonitorEvents& events, const platform::SDirectoryChange& change)
{
    platform::SetEventObject(events.m_hWake);
    IDirectoryMonitor* pCallback = events.m_pCallback.load();
    switch (change.nAction)
    {
    case platform::kFileActionAdded:
        if (pCallback != nullptr)
            pCallback->OnFileAdded(change.szName);
        break;
    case platform::kFileActionRemoved:
        if (pCallback != nullptr)
            pCallback->OnFileRemoved(change.szName);
        break;
    case platform::kFileActionModified:
        if (pCallback != nullptr)
            pCallback->OnFileModified(change.szName);
        break;
    case platform::kFileActionRenamedOldName:
        if (pCallback != nullptr)
            pCallback->OnFileRenamedOldName(change.szName);
        break;
    case platform::kFileActionRenamedNewName:
        if (pCallback != nullptr)
            pCallback->OnFileRenamedNewName(change.szName);
        break;
    default:
        if (change.nAction != 0 && !platform::IsEventSet(events.m_hStop))
            CLogger().Log(kCodeDirMonitor,
                          L"File monitor wrong action (" + std::to_wstring(change.nAction) + L")");
        break;
    }
}

uint32_t CDirectoryMonitorEvent::WatchThreadProc(boost::shared_ptr<SThisHolder> pHolder)
{
    ThreadName(L"CDirectoryMonitorEvent::WatchThreadProc", true);
    SMonitorEvents& events = *pHolder->m_pEvents;
    platform::CDirectoryWatch& watch = *pHolder->m_pWatch;
    if (!watch.Open(pHolder->m_szDirectory))
    {
        const uint32_t nError = platform::GetLastError();
        CLogger().Log(kCodeDirMonitor, L"Failed to monitor directory '" + pHolder->m_szDirectory + L"'. " +
                                           SystemErrorText(nError));
        pHolder->m_opened.set_value();
        return 0;
    }
    pHolder->m_opened.set_value();
    std::vector<platform::SDirectoryChange> changes;
    while (!platform::IsEventSet(events.m_hStop))
    {
        changes.clear();
        bool bOverflow = false;
        platform::CDirectoryWatch::EResult eResult = watch.Read(changes, bOverflow);
        if (eResult == platform::CDirectoryWatch::EResult::Cancelled || platform::IsEventSet(events.m_hStop))
            break;
        if (eResult == platform::CDirectoryWatch::EResult::Failed)
        {
            // A failing read does not heal; going round again would spin.
            CLogger().Log(kCodeDirMonitor, L"Failed to monitor directory '" + pHolder->m_szDirectory +
                                               L"'. " + SystemErrorText(platform::GetLastError()));
            break;
        }
        if (bOverflow)
        {
            // Changes were lost: report an addition without a name, so that the owner looks for itself.
            HandleChange(events, platform::SDirectoryChange{platform::kFileActionAdded, std::wstring()});
        }
        for (const platform::SDirectoryChange& change : changes)
        {
            if (platform::IsEventSet(events.m_hStop))
                break;
            HandleChange(events, change);
        }
        if (watch.RootGone())
        {
            // Nothing at the watched path is followed any more; the owner's next Watch starts anew
            // once a directory exists there again.
            pHolder->m_bRootGone.store(true);
            CLogger().Log(kCodeDirMonitor, L"Failed to monitor directory '" + pHolder->m_szDirectory +
                                               L"'. " + SystemErrorText(platform::kErrorFileNotFound));
            break;
        }
    }
    watch.Close();
    return 1;
}
