// Kernel objects: events, named (machine-wide) events and mutexes, and waits on them.
//
// Handles stand for Windows kernel handles. Unnamed events live in this process; named objects
// ("Global\\" + name, exactly as the callers pass it) are shared by the processes of the machine that
// may reach the objects folder: the service account and the members of its group. Where this differs
// from Windows:
//  - Named objects are files in one folder: TARVIK_OBJECTS_DIR when set; else the unit's
//    RUNTIME_DIRECTORY (systemd's RuntimeDirectory=tarvik); else /run/tarvik when it is a real
//    directory owned by root or the service account, of the service group, not writable by others
//    (made by root when missing); else the user's own $XDG_RUNTIME_DIR/tarvik (0700). Never a folder
//    that every user may write. An object exists while a live process holds a handle to it: a
//    process that dies, even by SIGKILL, holds nothing any more, and the next create starts afresh.
//  - Security: there are no descriptors. Objects are created 0660 and given the service group; an
//    object file that is a link, is not a regular file (a FIFO for an event's signal), has more than
//    one link, or belongs to a user other than this process's, root, the service account or a member
//    of its group is refused: the create fails with 5, access denied.
//  - Every wait inside a create is bounded: an object that another process keeps in the middle of a
//    create for 5 seconds (or a quit request meanwhile, see ThreadMessages.h) fails the create with
//    1460, time-out. Callers bound their own waits as well: the program never waits without a limit.
//  - A named mutex may be waited on only alone (WaitForSingleObject); a wait for several objects takes
//    events only. An infinite wait for a named mutex sleeps in the kernel (a blocking file lock); a
//    finite one retries a few milliseconds apart until its time-out.
//  - Events and mutexes share one name space: creating a mutex under an event's name (or the reverse)
//    fails with 6, invalid handle.
//  - Mechanism: an unnamed event is an eventfd; a named event is a FIFO that every holder keeps open
//    (its unread bytes are the set state, which the kernel drops with the last holder); a lock file
//    per named object carries open-file-description locks for "somebody holds it" and for the mutex
//    owner. The files stay in the directory after the last holder has gone (they are reused).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform
{

struct SKernelObject;
using HANDLE = SKernelObject*;
inline constexpr HANDLE kInvalidHandle = nullptr;

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;
inline constexpr uint32_t kWaitObject0 = 0x00000000u;
inline constexpr uint32_t kWaitAbandoned0 = 0x00000080u;
inline constexpr uint32_t kWaitTimeout = 0x00000102u;
inline constexpr uint32_t kWaitFailed = 0xFFFFFFFFu;

// An unnamed event of this process. Never fails short of resource exhaustion (then kInvalidHandle
// with the last error set). An auto-reset event releases exactly one waiter per set.
HANDLE CreateEventObject(bool bManualReset, bool bInitialState);

// Creates or opens the machine-wide event called szName (the caller's full name, "Global\\..." included).
// Sets the last error to kErrorAlreadyExists when the object already existed (then the initial state
// is ignored), to 0 otherwise; kInvalidHandle on failure (the last error says why, e.g. 5 access denied).
HANDLE CreateNamedEventObject(const std::wstring& szName, bool bManualReset, bool bInitialState);

// Creates or opens the machine-wide mutex called szName; the last error as for named events. The
// mutex is recursive for the thread that owns it, like a Windows mutex. A mutex whose owner process
// died is obtained by the next waiter with kWaitAbandoned0.
HANDLE CreateNamedMutexObject(const std::wstring& szName, bool bInitialOwner);

bool SetEventObject(HANDLE hEvent);
bool ResetEventObject(HANDLE hEvent);
bool ReleaseMutexObject(HANDLE hMutex);

// Closes any handle; the object goes when its last handle in any process is closed.
bool CloseHandleObject(HANDLE hObject);

// Waits for one object: kWaitObject0, kWaitAbandoned0 (mutex only), kWaitTimeout or kWaitFailed.
// Waiting on a signalled auto-reset event resets it; waiting on a mutex takes ownership.
uint32_t WaitForSingleObject(HANDLE hObject, uint32_t nTimeoutMs);

// Waits until any one of the events is signalled: kWaitObject0 + the lowest index of a signalled one,
// kWaitTimeout, or kWaitFailed (bad handle, a mutex in the list, more than 64 handles). The thread
// sleeps in the kernel meanwhile: no polling.
uint32_t WaitForMultipleObjects(const HANDLE* pHandles, size_t nCount, uint32_t nTimeoutMs);

// True when the event is set right now; does not wait and does not reset an auto-reset event.
bool IsEventSet(HANDLE hEvent);

// Where the machine-wide named objects live, as a person should be told when one cannot be made: on
// Linux the directory that holds them (the configured one, or the candidates, when none serves).
std::wstring NamedObjectsLocation();

} // namespace platform
