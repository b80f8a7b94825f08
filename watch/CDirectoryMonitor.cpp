// The file-list half of the directory monitor.
#include "watch/CDirectoryMonitor.h"

#include "engine/CFilesList.h"
#include "log/CLogger.h"
#include "watch/CDirMonFileStatus.h"
#include "watch/CFileValidatior.h"

#include <thread>

CDirectoryMonitor::CDirectoryMonitor() : m_pEvents(new SMonitorEvents) {}

CDirectoryMonitor::~CDirectoryMonitor()
{
    SetCallback(nullptr);
    platform::SetEventObject(m_pEvents->m_hStop);
    platform::SetEventObject(m_pEvents->m_hWake);
    if (m_pThread)
    {
        m_pThread->try_join_for(boost::chrono::seconds(1));
        m_pThread->detach(); // a thread that did not end keeps its own reference to the events
        m_pThread.reset();
    }
}

void CDirectoryMonitor::SetParams(const SDirMonParams& params)
{
    m_szDirectory = params.m_szDirectory;
    m_szMasks = params.m_szMasks;
    m_nMaxFiles = params.m_nMaxFiles;
    m_nReserved = params.m_nReserved;
    m_nSubfolderDepth = params.m_bSubfolders ? 100 : 0;
    m_nValidationTimeout = params.m_nValidationTimeout;
    m_nCheckInterval = params.m_nCheckInterval;
}

void CDirectoryMonitor::Start(IDirectoryMonitor* pCallback, const SDirMonParams& params)
{
    SetParams(params);
    SetCallback(pCallback);
    if (m_pThread)
    {
        // The old thread shares the wake event and the callback: left running, it would take wake-ups
        // meant for the new one and report files twice.
        m_pHolder->m_bRetired.store(true);
        platform::SetEventObject(m_pEvents->m_hWake);
        m_pThread->try_join_for(boost::chrono::seconds(1));
        m_pThread->detach();
        m_pThread.reset();
    }
    platform::SetEventObject(m_pEvents->m_hWake);
    boost::shared_ptr<SDirMonHolder> pHolder(new SDirMonHolder);
    pHolder->m_pThis = this;
    pHolder->m_pEvents = m_pEvents;
    pHolder->m_params = params;
    pHolder->m_params.m_szDirectory = m_szDirectory;
    pHolder->m_params.m_szMasks = m_szMasks;
    pHolder->m_params.m_nMaxFiles = m_nMaxFiles;
    pHolder->m_params.m_nValidationTimeout = m_nValidationTimeout;
    pHolder->m_params.m_nCheckInterval = m_nCheckInterval;
    pHolder->m_nSubfolderDepth = m_nSubfolderDepth;
    m_pHolder = pHolder;
    m_pThread.reset(new boost::thread(&CDirectoryMonitor::FileListThreadProc, pHolder));
}

int32_t CDirectoryMonitor::FileListThreadProc(boost::shared_ptr<SDirMonHolder> pHolder)
{
    ThreadName(L"File Monitor", true);
    SMonitorEvents& events = *pHolder->m_pEvents;
    const SDirMonParams& params = pHolder->m_params;
    const int32_t nDepth = pHolder->m_nSubfolderDepth;
    auto stopped = [&events, &pHolder]()
    { return pHolder->m_bRetired.load() || platform::IsEventSet(events.m_hStop); };

    CFileValidatior validator;
    // The status reporter reads the callback at each report, so a cleared callback is honoured.
    struct SForwarder : public IFileStatus
    {
        SMonitorEvents* m_pEvents;
        void OnFileGone(CDocInfo& info) override
        {
            CDirMonFileStatus(m_pEvents->m_pCallback.load()).OnFileGone(info);
        }
        void OnFileChecked(CDocInfo& info) override
        {
            CDirMonFileStatus(m_pEvents->m_pCallback.load()).OnFileChecked(info);
        }
    } status;
    status.m_pEvents = &events;
    CFilesList list(&status, &validator);

    while (!stopped())
    {
        if (platform::WaitForSingleObject(events.m_hWake, platform::kInfinite) != platform::kWaitObject0)
            continue;
        if (stopped())
            break;
        list.RemoveGone(&status);
        if (stopped())
            break;
        list.CheckPending(params.m_nValidationTimeout, params.m_nCheckInterval);
        if (stopped())
            break;
        bool bLimit = false;
        CollectFiles(params.m_szDirectory, params.m_szMasks, list, nDepth, params.m_nMaxFiles,
                     params.m_nValidationTimeout, params.m_nCheckInterval, bLimit);
        if (stopped())
            break;
        std::this_thread::yield();
        if (stopped())
            break;
        if (list.HasPending())
            platform::SetEventObject(events.m_hWake);
    }
    return 1;
}
