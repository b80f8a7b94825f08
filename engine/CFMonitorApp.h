// The monitoring engine: the monitor thread that wakes on a timer or on a change in the incoming
// directory, lists the pending control files and processes them; it also owns the settings, the
// machine-wide single-instance event and the events through which the user interface starts and
// stops monitoring. One object per process.
#pragma once

#include "engine/CTxtFiles.h"
#include "engine/IFilesListFiller.h"
#include "platform/KernelObjects.h"
#include "watch/IDirectoryMonitor.h"

#include <boost/shared_ptr.hpp>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace boost
{
class thread;
}

class CFMParams;
class CIncomingFolder;

// Posted to the user-interface thread after every wait of the monitor loop (both parameters 0).
inline constexpr uint32_t WM_ENGINE_HEARTBEAT = 2026;

class CFMonitorApp : public IDirectoryMonitor, public IFilesListFiller
{
public:
    // Handed to the monitor thread through a shared pointer. m_bRevoked is set when Stop gave up
    // waiting for the thread: from then on the thread leaves the control-file collection alone.
    struct SThisHolder
    {
        CFMonitorApp* m_pThis = nullptr;
        std::atomic<bool> m_bRevoked{false};
    };

    // Creates the settings (which load the INI file) and the stop and wake events, and removes a
    // left-over autostart value "VeltraneMonitor" from the Run key.
    CFMonitorApp();
    // SignalQuit (only when this process claimed the instance: a refused second start must not end
    // the running one), Stop, then deletes the records and the settings (which saves them).
    ~CFMonitorApp() override;
    CFMonitorApp(const CFMonitorApp&) = delete;
    CFMonitorApp& operator=(const CFMonitorApp&) = delete;

    // Creates the machine-wide instance event. False when another process holds it; then, unless
    // bQuiet, the user is told so in a message box. False also when the event cannot be made at all
    // (ClaimError() then holds the system error): the message box (unless bQuiet) and standard error
    // name the place of the named objects and the system error text instead.
    bool ClaimSingleInstance(bool bQuiet);
    // The system error of the last ClaimSingleInstance that could not make the event; 0 after a claim
    // or a refusal because another instance runs.
    uint32_t ClaimError() const { return m_nClaimError; }
    // Sets the machine-wide instance event, which ends the loop of the instance that runs it, and
    // forgets this process's handle of it.
    void SignalQuit();
    // Names the calling thread the user-interface thread (it gets the engine's messages), then Start.
    void Run();
    // (Re)starts the monitor thread: Stop, clear the stop event, start a new thread. Always true.
    bool Start();
    // Sets the stop event and waits for the monitor thread at most AttemptTimeout + 1 seconds.
    // Always true. UI thread.
    bool Stop();
    // True while the stop event is set.
    bool IsStopped() const;
    // True while a monitor thread that Stop stopped waiting for still runs.
    bool HasLateThreads() const { return m_nLateThreads.load() > 0; }

    // Sets the wake event (directory monitor's thread).
    void OnFileAdded(const std::wstring& szFileName) override;
    // Adds a control-file record for the listed file unless one of that path exists. Always true.
    bool OnFileListed(CDocInfo& info, int nReserved) override;

    CFMParams* GetParams() const { return m_pParams; }
    // The pending records; read only while the engine is stopped.
    const CTxtFiles& GetTxtFiles() const { return m_txtFiles; }
    // The thread that receives WM_ENGINE_HEARTBEAT and WM_CLOSE (set by Run).
    void SetUiThreadId(uint32_t nThreadId) { m_nUiThreadId.store(nThreadId); }

    // The name of the instance event, without the "Global\\" prefix: a fixed GUID in braces.
    static constexpr const wchar_t* kInstanceName = L"{6E0C2A57-3B91-4D7F-A8E4-1F5B92C7D036}";

private:
    static int MonitorThreadProc(boost::shared_ptr<SThisHolder> pHolder);
    int OnMonitorProc(SThisHolder& holder);
    // Lists the incoming directory's control files and hands them to the filler (the pass's own
    // collection, which the engine's takes back at the end of the pass).
    void ListPendingFiles(CIncomingFolder& folder, IFilesListFiller& filler);
    void PostToUi(uint32_t nMessage);

    CTxtFiles m_txtFiles;
    CFMParams* m_pParams = nullptr;
    std::atomic<platform::HANDLE> m_hInstance{platform::kInvalidHandle};
    platform::HANDLE m_hStop = platform::kInvalidHandle;
    platform::HANDLE m_hWake = platform::kInvalidHandle;
    boost::thread* m_pThread = nullptr;
    std::wstring m_szInstanceName;

    boost::shared_ptr<SThisHolder> m_pHolder; // the running thread's holder
    std::mutex m_mxTxtFiles;                  // guards the hand-over of m_txtFiles to and from a pass
    std::atomic<uint32_t> m_nUiThreadId{0};
    std::atomic<int> m_nLateThreads{0}; // monitor threads let go of by Stop that still run
    bool m_bClaimed = false;            // this process holds the instance event
    uint32_t m_nClaimError = 0;         // why the last claim could not make the event
};
