// Kernel objects on Windows: the handles are the system's own event and mutex handles.
//
// The layer remembers which handles it gave out and of which kind, because its contract is narrower
// than the system's: a wait for several objects takes events only, IsEventSet applies to events, and
// a handle closed here is no handle any more even when the system hands its value out again.
//
// Named objects are created in the system's object namespace under the caller's name as it stands
// ("Global\\..."). They carry a descriptor of their own instead of the creator's default: full access
// for the local system account (the service), the administrators (who install and remove it) and the
// user who created the object; nobody else may open, signal or hold them. Creating a named object
// never waits on Windows, so the bounded create of the contract needs nothing here, and there is no
// objects folder: NamedObjectsLocation names the namespace.
#include "platform/KernelObjects.h"

#include "platform/SysError.h"
#include "platform/Windows_win.h"

#include <sddl.h>

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform
{

namespace
{

constexpr size_t kMaximumWaitObjects = 64;

enum class EKind
{
    Event,
    Mutex,
};

std::mutex g_handlesMutex;

std::unordered_map<::HANDLE, EKind>& Handles()
{
    // Never destroyed: static destructors of other files may still close handles at exit.
    static auto* pHandles = new std::unordered_map<::HANDLE, EKind>();
    return *pHandles;
}

::HANDLE Native(HANDLE h)
{
    return reinterpret_cast<::HANDLE>(h);
}

HANDLE Register(::HANDLE hNative, EKind eKind)
{
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    Handles()[hNative] = eKind;
    return reinterpret_cast<HANDLE>(hNative);
}

// The system handle behind h when the layer gave it out and it is of the wanted kind (any kind when
// pKind is null); nullptr with the last error 6 otherwise.
::HANDLE Lookup(HANDLE h, const EKind* pKind)
{
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    auto it = Handles().find(Native(h));
    if (it == Handles().end() || (pKind != nullptr && it->second != *pKind))
    {
        SetLastError(kErrorInvalidHandle);
        return nullptr;
    }
    return it->first;
}

::HANDLE LookupEvent(HANDLE h)
{
    const EKind eKind = EKind::Event;
    return Lookup(h, &eKind);
}

// The descriptor of every named object, made once: full access (the specific rights of events and
// mutexes, which include SYNCHRONIZE) for the local system account, the administrators and the
// calling user. Null when it cannot be made; the objects then get the default security.
PSECURITY_DESCRIPTOR NamedObjectDescriptor()
{
    static const PSECURITY_DESCRIPTOR pDescriptor = []() -> PSECURITY_DESCRIPTOR
    {
        std::wstring szUser;
        ::HANDLE hToken = nullptr;
        if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &hToken))
        {
            DWORD nSize = 0;
            ::GetTokenInformation(hToken, TokenUser, nullptr, 0, &nSize);
            std::vector<unsigned char> buffer(nSize == 0 ? 1 : nSize);
            LPWSTR pSid = nullptr;
            if (::GetTokenInformation(hToken, TokenUser, buffer.data(), nSize, &nSize) &&
                ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &pSid))
            {
                szUser = pSid;
                ::LocalFree(pSid);
            }
            ::CloseHandle(hToken);
        }
        std::wstring szSddl = L"D:P(A;;0x1f0003;;;SY)(A;;0x1f0003;;;BA)";
        if (!szUser.empty())
        {
            szSddl += L"(A;;0x1f0003;;;" + szUser + L")";
        }
        PSECURITY_DESCRIPTOR p = nullptr;
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(szSddl.c_str(), SDDL_REVISION_1, &p,
                                                                    nullptr))
        {
            return nullptr;
        }
        return p; // kept for the life of the process
    }();
    return pDescriptor;
}

SECURITY_ATTRIBUTES* NamedObjectAttributes(SECURITY_ATTRIBUTES& sa)
{
    const PSECURITY_DESCRIPTOR pDescriptor = NamedObjectDescriptor();
    if (pDescriptor == nullptr)
    {
        return nullptr;
    }
    sa.nLength = sizeof(sa);
    sa.lpSecurityDescriptor = pDescriptor;
    sa.bInheritHandle = FALSE;
    return &sa;
}

// Registers a freshly created named object and sets the last error to 183 or 0 as the system
// reported it (the bookkeeping may touch the thread's error in between).
HANDLE RegisterNamed(::HANDLE hNative, EKind eKind)
{
    const DWORD nError = ::GetLastError();
    if (hNative == nullptr)
    {
        SetLastError(nError);
        return kInvalidHandle;
    }
    HANDLE h = Register(hNative, eKind);
    SetLastError(nError == ERROR_ALREADY_EXISTS ? kErrorAlreadyExists : kErrorSuccess);
    return h;
}

uint32_t WaitResult(DWORD nResult)
{
    if (nResult == WAIT_FAILED)
    {
        SetLastError(::GetLastError());
        return kWaitFailed;
    }
    return nResult;
}

// NtQueryEvent of ntdll: the state of an event without waiting on it (a wait would reset an
// auto-reset event).
struct SEventBasicInformation
{
    int eEventType;
    LONG nEventState;
};
using PNtQueryEvent = LONG(NTAPI*)(::HANDLE, int, void*, ULONG, ULONG*);

PNtQueryEvent NtQueryEventFunction()
{
    static const PNtQueryEvent pQuery = []() -> PNtQueryEvent
    {
        const HMODULE hNtdll = ::GetModuleHandleW(L"ntdll.dll");
        if (hNtdll == nullptr)
        {
            return nullptr;
        }
        return reinterpret_cast<PNtQueryEvent>(
            reinterpret_cast<void (*)()>(::GetProcAddress(hNtdll, "NtQueryEvent")));
    }();
    return pQuery;
}

} // namespace

std::wstring NamedObjectsLocation()
{
    return L"the system's object namespace (Global\\)";
}

HANDLE CreateEventObject(bool bManualReset, bool bInitialState)
{
    ::HANDLE hNative =
        ::CreateEventW(nullptr, bManualReset ? TRUE : FALSE, bInitialState ? TRUE : FALSE, nullptr);
    if (hNative == nullptr)
    {
        SetLastError(::GetLastError());
        return kInvalidHandle;
    }
    return Register(hNative, EKind::Event);
}

HANDLE CreateNamedEventObject(const std::wstring& szName, bool bManualReset, bool bInitialState)
{
    SECURITY_ATTRIBUTES sa{};
    SECURITY_ATTRIBUTES* pAttributes = NamedObjectAttributes(sa);
    ::HANDLE hNative = ::CreateEventW(pAttributes, bManualReset ? TRUE : FALSE, bInitialState ? TRUE : FALSE,
                                      szName.c_str());
    return RegisterNamed(hNative, EKind::Event);
}

HANDLE CreateNamedMutexObject(const std::wstring& szName, bool bInitialOwner)
{
    SECURITY_ATTRIBUTES sa{};
    SECURITY_ATTRIBUTES* pAttributes = NamedObjectAttributes(sa);
    ::HANDLE hNative = ::CreateMutexW(pAttributes, bInitialOwner ? TRUE : FALSE, szName.c_str());
    return RegisterNamed(hNative, EKind::Mutex);
}

bool SetEventObject(HANDLE hEvent)
{
    ::HANDLE hNative = LookupEvent(hEvent);
    if (hNative == nullptr)
    {
        return false;
    }
    if (!::SetEvent(hNative))
    {
        SetLastError(::GetLastError());
        return false;
    }
    return true;
}

bool ResetEventObject(HANDLE hEvent)
{
    ::HANDLE hNative = LookupEvent(hEvent);
    if (hNative == nullptr)
    {
        return false;
    }
    if (!::ResetEvent(hNative))
    {
        SetLastError(::GetLastError());
        return false;
    }
    return true;
}

bool ReleaseMutexObject(HANDLE hMutex)
{
    const EKind eKind = EKind::Mutex;
    ::HANDLE hNative = Lookup(hMutex, &eKind);
    if (hNative == nullptr)
    {
        return false;
    }
    if (!::ReleaseMutex(hNative))
    {
        SetLastError(::GetLastError()); // 288 when the calling thread does not own it
        return false;
    }
    return true;
}

bool CloseHandleObject(HANDLE hObject)
{
    ::HANDLE hNative = Native(hObject);
    {
        std::lock_guard<std::mutex> lock(g_handlesMutex);
        auto it = Handles().find(hNative);
        if (it == Handles().end())
        {
            SetLastError(kErrorInvalidHandle);
            return false;
        }
        // Forgotten before the system may hand the value out again.
        Handles().erase(it);
    }
    if (!::CloseHandle(hNative))
    {
        SetLastError(::GetLastError());
        return false;
    }
    return true;
}

uint32_t WaitForSingleObject(HANDLE hObject, uint32_t nTimeoutMs)
{
    ::HANDLE hNative = Lookup(hObject, nullptr);
    if (hNative == nullptr)
    {
        return kWaitFailed;
    }
    return WaitResult(::WaitForSingleObject(hNative, nTimeoutMs));
}

uint32_t WaitForMultipleObjects(const HANDLE* pHandles, size_t nCount, uint32_t nTimeoutMs)
{
    if (pHandles == nullptr || nCount == 0 || nCount > kMaximumWaitObjects)
    {
        SetLastError(kErrorInvalidParameter);
        return kWaitFailed;
    }
    std::vector<::HANDLE> natives;
    natives.reserve(nCount);
    {
        std::lock_guard<std::mutex> lock(g_handlesMutex);
        for (size_t i = 0; i < nCount; ++i)
        {
            auto it = Handles().find(Native(pHandles[i]));
            if (it == Handles().end())
            {
                SetLastError(kErrorInvalidHandle);
                return kWaitFailed;
            }
            if (it->second != EKind::Event)
            {
                SetLastError(kErrorInvalidParameter);
                return kWaitFailed;
            }
            natives.push_back(it->first);
        }
    }
    return WaitResult(
        ::WaitForMultipleObjects(static_cast<DWORD>(nCount), natives.data(), FALSE, nTimeoutMs));
}

bool IsEventSet(HANDLE hEvent)
{
    ::HANDLE hNative = LookupEvent(hEvent);
    if (hNative == nullptr)
    {
        return false;
    }
    const PNtQueryEvent pQuery = NtQueryEventFunction();
    if (pQuery == nullptr)
    {
        SetLastError(kErrorNotSupported);
        return false;
    }
    SEventBasicInformation info{};
    ULONG nLength = 0;
    // EventBasicInformation is class 0.
    return pQuery(hNative, 0, &info, sizeof(info), &nLength) >= 0 && info.nEventState != 0;
}

} // namespace platform
