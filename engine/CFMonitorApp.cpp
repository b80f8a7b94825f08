// The monitoring engine.
#include "engine/CFMonitorApp.h"

#include "config/CFMParams.h"
#include "config/CGlobalObjectsBuilder.h"
#include "engine/CFilesList.h"
#include "engine/CIncomingFolder.h"
#include "engine/CTxtFile.h"
#include "log/CLogger.h"
#include "log/ErrorCodes.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "platform/SysError.h"
#include "platform/Thread.h"
#include "platform/ThreadMessages.h"
#include "util/CFileOps.h"
#include "util/ProgramPaths.h"
#include "util/utf8_conversion.h"
#include "watch/CDirectoryMonitorEvent.h"
#include "watch/CDocInfo.h"

#include <boost/thread.hpp>

#include <algorithm>
#include <cstdio>

namespace
{

// Adds each listed control file to one pass's collection, as OnFileListed does to the engine's.
class CPassFiller : public IFilesListFiller
{
public:
    CPassFiller(CTxtFiles& files, CFMParams* pParams) : m_files(files), m_pParams(pParams) {}

    bool OnFileListed(CDocInfo& info, int /*nReserved*/) override
    {
        m_files.Add(new CTxtFile(info.m_szPath, m_pParams));
        return true;
    }

private:
    CTxtFiles& m_files;
    CFMParams* m_pParams;
};

uint32_t WaitMilliseconds(int32_t nSeconds)
{
    // A negative setting would wrap round to a wait of weeks; treat it as no wait.
    int64_t nMs = std::max<int64_t>(nSeconds, 0) * 1000;
    return static_cast<uint32_t>(std::min<int64_t>(nMs, platform::kInfinite - 1));
}

} // namespace

CFMonitorApp::CFMonitorApp() : m_szInstanceName(kInstanceName)
{
    m_pParams = new CFMParams();
    m_hStop = platform::CreateEventObject(true, false);
    m_hWake = platform::CreateEventObject(false, true);
    platform::CRegistryKey key;
    if (key.Open(platform::EHive::LocalMachine, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                 platform::kRegAllAccess) == 0)
        key.DeleteValue(L"VeltraneMonitor");
}

CFMonitorApp::~CFMonitorApp()
{
    if (m_bClaimed)
        SignalQuit();
    Stop();
    {
        std::lock_guard<std::mutex> lock(m_mxTxtFiles);
        m_txtFiles.Clear();
    }
    if (m_nLateThreads.load() == 0)
    {
        delete m_pParams; // saves the settings
        m_pParams = nullptr;
        platform::CloseHandleObject(m_hStop);
        platform::CloseHandleObject(m_hWake);
    }
    else
        m_pParams->Save(); // a late monitor thread may still read the settings and events: keep them
    platform::HANDLE hInstance = m_hInstance.exchange(platform::kInvalidHandle);
    if (hInstance != platform::kInvalidHandle)
        platform::CloseHandleObject(hInstance);
}

bool CFMonitorApp::ClaimSingleInstance(bool bQuiet)
{
    CGlobalObjectsBuilder builder(CGlobalObjectsBuilder::kGlobalPrefix);
    platform::HANDLE hEvent = builder.CreateEvent(m_szInstanceName);
    const uint32_t nError = builder.LastError();
    m_nClaimError = 0;
    if (hEvent == platform::kInvalidHandle)
    {
        // Not another instance: the event could not be made. Saying "already running" would send an
        // administrator looking for a process that does not exist.
        m_nClaimError = nError;
        m_hInstance.store(platform::kInvalidHandle);
        std::wstring szReason;
        if (!platform::SystemMessage(nError, szReason))
            szReason = L"system error " + std::to_wstring(nError);
        while (!szReason.empty() &&
               (szReason.back() == L'\n' || szReason.back() == L'\r' || szReason.back() == L'.'))
            szReason.pop_back();
        const std::wstring szText = L"The documents monitoring service cannot start: its single-instance "
                                    L"marker cannot be created in " +
                                    platform::NamedObjectsLocation() + L" (" + szReason + L").";
        std::fprintf(stderr, "%s\n", utf8_conversion::Encode(szText).c_str());
        if (!bQuiet && !platform::IsHeadless())
            platform::ShowMessageBox(szText, L"Veltrane documents monitoring service",
                                     platform::kMbIconError);
        return false;
    }
    if (nError == platform::kErrorAlreadyExists || nError == platform::kErrorAccessDenied)
    {
        platform::CloseHandleObject(hEvent);
        m_hInstance.store(platform::kInvalidHandle);
        if (!bQuiet)
            platform::ShowMessageBox(L"The documents monitoring service is already running.",
                                     L"Veltrane documents monitoring service", platform::kMbIconWarning);
        return false;
    }
    m_hInstance.store(hEvent);
    m_bClaimed = true;
    return true;
}

void CFMonitorApp::SignalQuit()
{
    // The member is forgotten before the event is set: the monitor loop of this process, woken by the
    // event, must find it invalid and post no WM_CLOSE for a quit that this process asked for itself.
    // The old handle stays open: a running monitor loop still waits on it.
    m_hInstance.store(platform::kInvalidHandle);
    CGlobalObjectsBuilder builder(CGlobalObjectsBuilder::kGlobalPrefix);
    platform::HANDLE hEvent = builder.CreateEvent(m_szInstanceName);
    if (hEvent != platform::kInvalidHandle)
    {
        platform::SetEventObject(hEvent);
        platform::CloseHandleObject(hEvent);
    }
}

void CFMonitorApp::Run()
{
    ThreadName(L"CFMonitorApp::Run", true);
    SetUiThreadId(platform::GetCurrentThreadId());
    Start();
}

bool CFMonitorApp::Start()
{
    Stop();
    platform::ResetEventObject(m_hStop);
    boost::shared_ptr<SThisHolder> pHolder(new SThisHolder);
    pHolder->m_pThis = this;
    m_pHolder = pHolder;
    m_pThread = new boost::thread(&CFMonitorApp::MonitorThreadProc, pHolder);
    return true;
}

bool CFMonitorApp::Stop()
{
    platform::SetEventObject(m_hStop);
    if (m_pThread == nullptr)
        return true;
    const int32_t nSeconds = std::max<int32_t>(m_pParams->m_nAttemptTimeout, 0) + 1;
    if (!m_pThread->try_join_for(boost::chrono::seconds(nSeconds)))
    {
        CLogger().Log(kCodeServiceError, L"The current process stopped responding and will be terminated.");
        {
            // After this the late thread hands nothing back and takes nothing more: the collection
            // belongs to the next thread alone.
            std::lock_guard<std::mutex> lock(m_mxTxtFiles);
            m_pHolder->m_bRevoked.store(true);
        }
        m_nLateThreads.fetch_add(1);
        m_pThread->detach();
    }
    delete m_pThread;
    m_pThread = nullptr;
    m_pHolder.reset();
    return true;
}

bool CFMonitorApp::IsStopped() const
{
    return platform::IsEventSet(m_hStop);
}

void CFMonitorApp::OnFileAdded(const std::wstring& /*szFileName*/)
{
    platform::SetEventObject(m_hWake);
}

bool CFMonitorApp::OnFileListed(CDocInfo& info, int /*nReserved*/)
{
    return CPassFiller(m_txtFiles, m_pParams).OnFileListed(info, 0);
}

void CFMonitorApp::PostToUi(uint32_t nMessage)
{
    const uint32_t nThreadId = m_nUiThreadId.load();
    if (nThreadId != 0)
        platform::PostThreadMessage(nThreadId, nMessage, 0, 0);
}

int CFMonitorApp::MonitorThreadProc(boost::shared_ptr<SThisHolder> pHolder)
{
    // Linux has no COM apartments: nothing to initialise for the document libraries.
    CFMonitorApp* pThis = pHolder->m_pThis;
    const int nResult = pThis->OnMonitorProc(*pHolder);
    if (pHolder->m_bRevoked.load())
        pThis->m_nLateThreads.fetch_sub(1);
    return nResult;
}

int CFMonitorApp::OnMonitorProc(SThisHolder& holder)
{
    CDirectoryMonitorEvent monitor;
    ThreadName(L"CFMonitorApp::OnMonitorProc", true);
    CLogger().Log(kCodeProcessInfo, L"Documents monitoring service started by " + ComputerUserName() +
                                        L" from " + ExecutableDirectory());

    // Stop, instance, wake, in this order; an instance event never claimed is left out rather than
    // failing every wait.
    platform::HANDLE handles[3];
    size_t nHandles = 0;
    handles[nHandles++] = m_hStop;
    const platform::HANDLE hInstance = m_hInstance.load();
    if (hInstance != platform::kInvalidHandle)
        handles[nHandles++] = hInstance;
    const uint32_t nWakeIndex = static_cast<uint32_t>(nHandles);
    handles[nHandles++] = m_hWake;

    for (;;)
    {
        const std::wstring szInDir = m_pParams->m_szTxtInDir;
        if (!szInDir.empty() && CFileOps::GetPathType(szInDir) == 2)
            monitor.Watch(this, szInDir);

        const uint32_t nWait = platform::WaitForMultipleObjects(
            handles, nHandles, WaitMilliseconds(m_pParams->m_nAttemptTimeout));
        PostToUi(WM_ENGINE_HEARTBEAT);
        if (nWait != platform::kWaitTimeout && nWait != platform::kWaitObject0 + nWakeIndex)
            break;

        // The pass works on the collection taken out of the engine, and hands it back at the end
        // unless Stop gave up on this thread meanwhile.
        CTxtFiles passFiles;
        {
            std::lock_guard<std::mutex> lock(m_mxTxtFiles);
            if (holder.m_bRevoked.load())
                break;
            passFiles.Swap(m_txtFiles);
        }
        // The incoming folder is opened once for the pass: listed, and every control file in it
        // reached by name relative to it.
        CIncomingFolder folder(m_pParams->m_szTxtInDir);
        CPassFiller filler(passFiles, m_pParams);
        ListPendingFiles(folder, filler);
        passFiles.ProcessAll(folder);
        {
            std::lock_guard<std::mutex> lock(m_mxTxtFiles);
            if (holder.m_bRevoked.load())
                break; // passFiles and its records go with this thread
            passFiles.Swap(m_txtFiles);
        }
    }

    CLogger().Log(kCodeProcessInfo, L"Documents monitoring service finished");
    const platform::HANDLE hInstanceNow = m_hInstance.load();
    if (hInstanceNow != platform::kInvalidHandle && platform::IsEventSet(hInstanceNow))
        PostToUi(platform::kWmClose); // another process asked this instance to quit
    return 1;
}

void CFMonitorApp::ListPendingFiles(CIncomingFolder& folder, IFilesListFiller& filler)
{
    CFilesList list(nullptr, nullptr);
    bool bLimitReached = false;
    if (const platform::COpenDirectory* pRoot = folder.Root())
        CollectFiles(*pRoot, L"*.txt", list, 1, 100, 0, 2, bLimitReached);
    list.PassTo(filler);
}
