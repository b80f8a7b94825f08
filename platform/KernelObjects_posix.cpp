// Kernel objects on Linux.
//
// Every event, named or not, is a file descriptor that polls readable while the event is set, so that
// a wait for several events is one ppoll() in the kernel:
//  - an unnamed event is an eventfd;
//  - a named event is a FIFO in the objects directory that every holder keeps open read-write; its
//    unread bytes are the "set" state, which the kernel discards when the last holder closes it.
// An auto-reset event is consumed by one non-blocking read of everything that is in it: of several
// woken waiters exactly one reads something, the others go back to sleep.
//
// Every named object also has a lock file "<name>" in the objects directory. Open-file-description
// locks (F_OFD_SETLK) on three single bytes of it carry the state between processes, and the kernel
// drops them when a process dies, even by SIGKILL:
//  - byte 0, the gate: held exclusively while a process creates or opens the object;
//  - byte 1, the holders: every process that holds the object keeps a shared lock on it; a process
//    that can take it exclusively (under the gate) is alone and starts a fresh object;
//  - byte 2, the owner of a named mutex: held exclusively by the owning process.
// The file's content is two characters: the kind ('E' event, 'M' mutex) and the mutex's owned flag
// ('1' while owned). A flag found set by a new owner means the last owner died without releasing.
#include "platform/KernelObjects.h"

#include "platform/FileSystem.h"
#include "platform/KernelObjects_posix.h"
#include "platform/ServiceAccount_posix.h"
#include "platform/SysError.h"
#include "platform/SysError_posix.h"
#include "platform/Thread.h"
#include "platform/ThreadMessages.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace platform
{

namespace
{

using CClock = std::chrono::steady_clock;

constexpr off_t kGateByte = 0;
constexpr off_t kHoldersByte = 1;
constexpr off_t kOwnerByte = 2;
constexpr off_t kKindOffset = 0;
constexpr off_t kOwnedOffset = 1;
constexpr size_t kMaximumWaitObjects = 64;

// ---------------------------------------------------------------------------------------------------
// Events

class CEventCore
{
public:
    explicit CEventCore(bool bManualReset) : m_bManualReset(bManualReset) {}
    virtual ~CEventCore() = default;
    CEventCore(const CEventCore&) = delete;
    CEventCore& operator=(const CEventCore&) = delete;

    bool IsManualReset() const { return m_bManualReset; }
    virtual int Fd() const = 0;
    virtual bool Set() = 0;
    // Empties the event: true when it was set.
    virtual bool Drain() = 0;

    bool IsSet() const
    {
        pollfd pfd{Fd(), POLLIN, 0};
        return ::poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN);
    }

private:
    bool m_bManualReset;
};

class CUnnamedEvent : public CEventCore
{
public:
    CUnnamedEvent(bool bManualReset, int fd) : CEventCore(bManualReset), m_fd(fd) {}
    ~CUnnamedEvent() override { ::close(m_fd); }

    int Fd() const override { return m_fd; }

    bool Set() override
    {
        const uint64_t nOne = 1;
        while (::write(m_fd, &nOne, sizeof(nOne)) < 0)
        {
            if (errno == EINTR)
            {
                continue;
            }
            // EAGAIN: the counter is at its maximum, which is set.
            return errno == EAGAIN;
        }
        return true;
    }

    bool Drain() override
    {
        uint64_t nValue = 0;
        for (;;)
        {
            if (::read(m_fd, &nValue, sizeof(nValue)) == sizeof(nValue))
            {
                return true;
            }
            if (errno != EINTR)
            {
                return false;
            }
        }
    }

private:
    int m_fd;
};

// ---------------------------------------------------------------------------------------------------
// Locks on single bytes of a lock file

bool LockByte(int fd, off_t nByte, short nType, bool bWait)
{
    struct flock fl
    {
    };
    fl.l_type = nType;
    fl.l_whence = SEEK_SET;
    fl.l_start = nByte;
    fl.l_len = 1;
    for (;;)
    {
        if (::fcntl(fd, bWait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0)
        {
            return true;
        }
        if (errno != EINTR)
        {
            return false;
        }
    }
}

void UnlockByte(int fd, off_t nByte)
{
    LockByte(fd, nByte, F_UNLCK, false);
}

// Takes the owner byte before the deadline: a blocking lock without a time limit, else repeated
// attempts a few milliseconds apart. Returns 0, ETIMEDOUT or an errno value.
int LockOwnerByte(int fd, bool bInfinite, CClock::time_point deadline)
{
    if (bInfinite)
    {
        return LockByte(fd, kOwnerByte, F_WRLCK, true) ? 0 : errno;
    }
    auto nPause = std::chrono::milliseconds(1);
    for (;;)
    {
        if (LockByte(fd, kOwnerByte, F_WRLCK, false))
        {
            return 0;
        }
        if (errno != EAGAIN && errno != EACCES)
        {
            return errno;
        }
        const auto now = CClock::now();
        if (now >= deadline)
        {
            return ETIMEDOUT;
        }
        std::this_thread::sleep_for(std::min<CClock::duration>(nPause, deadline - now));
        nPause = std::min(nPause * 2, std::chrono::milliseconds(20));
    }
}

// ---------------------------------------------------------------------------------------------------
// Named objects

class CNamedEvent : public CEventCore
{
public:
    CNamedEvent(bool bManualReset, int fdLock, int fdFifo)
        : CEventCore(bManualReset), m_fdLock(fdLock), m_fdFifo(fdFifo)
    {
    }
    ~CNamedEvent() override
    {
        // The FIFO first: every holder of the FIFO holds the lock file too.
        ::close(m_fdFifo);
        ::close(m_fdLock);
    }

    int Fd() const override { return m_fdFifo; }

    bool Set() override
    {
        if (IsSet())
        {
            return true;
        }
        const char c = 1;
        for (;;)
        {
            if (::write(m_fdFifo, &c, 1) == 1)
            {
                return true;
            }
            if (errno == EINTR)
            {
                continue;
            }
            return errno == EAGAIN; // the pipe is full, which is set
        }
    }

    bool Drain() override
    {
        bool bAny = false;
        char buf[512];
        for (;;)
        {
            const ssize_t n = ::read(m_fdFifo, buf, sizeof(buf));
            if (n > 0)
            {
                bAny = true;
                if (static_cast<size_t>(n) < sizeof(buf))
                {
                    return true;
                }
                continue;
            }
            if (n < 0 && errno == EINTR)
            {
                continue;
            }
            return bAny;
        }
    }

private:
    int m_fdLock;
    int m_fdFifo;
};

struct SNamedMutex;

// Mutexes owned by the calling thread: released as abandoned when the thread ends without releasing.
// The list is reached through a plain pointer, which stays usable after the thread's destructors
// have run: the main thread's thread-local objects go before the static ones, whose destructors may
// still take and release mutexes (the settings are saved under the INI mutex at exit).
using COwnedList = std::vector<std::weak_ptr<SNamedMutex>>;
thread_local COwnedList* t_pOwned = nullptr;
thread_local bool t_bOwnedGuardDone = false;

struct SOwnedGuard
{
    ~SOwnedGuard();
};
thread_local SOwnedGuard t_ownedGuard;

// Remembers a mutex the calling thread now owns. Once the thread's guard has run (the main thread
// during exit) nothing is remembered: the process is ending, and its death leaves the owned flag set
// for the next owner anyway.
void RememberOwned(std::weak_ptr<SNamedMutex> mutex)
{
    if (t_bOwnedGuardDone)
    {
        return;
    }
    if (t_pOwned == nullptr)
    {
        (void)&t_ownedGuard; // registers the guard's destructor for this thread
        t_pOwned = new COwnedList();
    }
    t_pOwned->push_back(std::move(mutex));
}

struct SNamedMutex
{
    int fdLock = -1;
    std::mutex mutex;
    std::condition_variable cvFree;
    uint32_t nOwnerThread = 0; // thread of this process that owns the mutex, 0 when none
    uint32_t nCount = 0;       // recursion count of the owner
    bool bBusy = false;        // a thread of this process owns the mutex or is acquiring the owner byte

    ~SNamedMutex() { ::close(fdLock); }

    uint32_t Acquire(std::weak_ptr<SNamedMutex> self, uint32_t nTimeoutMs)
    {
        const uint32_t nThread = GetCurrentThreadId();
        const bool bInfinite = nTimeoutMs == kInfinite;
        const auto deadline = CClock::now() + std::chrono::milliseconds(bInfinite ? 0 : nTimeoutMs);
        std::unique_lock<std::mutex> lock(mutex);
        if (nOwnerThread == nThread)
        {
            ++nCount;
            return kWaitObject0;
        }
        if (bInfinite)
        {
            cvFree.wait(lock, [&] { return !bBusy; });
        }
        else if (!cvFree.wait_until(lock, deadline, [&] { return !bBusy; }))
        {
            return kWaitTimeout;
        }
        bBusy = true;
        lock.unlock();
        const int nErr = LockOwnerByte(fdLock, bInfinite, deadline);
        lock.lock();
        if (nErr != 0)
        {
            bBusy = false;
            cvFree.notify_one();
            if (nErr == ETIMEDOUT)
            {
                return kWaitTimeout;
            }
            SetLastErrorFromErrno(nErr);
            return kWaitFailed;
        }
        char cFlag = '0';
        const bool bAbandoned = ::pread(fdLock, &cFlag, 1, kOwnedOffset) == 1 && cFlag == '1';
        const char cOwned = '1';
        if (::pwrite(fdLock, &cOwned, 1, kOwnedOffset) != 1)
        {
            // Without the flag a later owner could not tell an abandoned mutex; the ownership holds.
            errno = 0;
        }
        nOwnerThread = nThread;
        nCount = 1;
        RememberOwned(std::move(self));
        return bAbandoned ? kWaitAbandoned0 : kWaitObject0;
    }

    bool Release()
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (nOwnerThread != GetCurrentThreadId())
        {
            SetLastError(kErrorNotOwner);
            return false;
        }
        if (--nCount > 0)
        {
            return true;
        }
        const char cFree = '0';
        if (::pwrite(fdLock, &cFree, 1, kOwnedOffset) != 1)
        {
            errno = 0;
        }
        FreeLocked();
        if (t_pOwned == nullptr)
        {
            return true;
        }
        auto& owned = *t_pOwned;
        owned.erase(std::remove_if(owned.begin(), owned.end(),
                                   [this](const std::weak_ptr<SNamedMutex>& w)
                                   {
                                       auto p = w.lock();
                                       return !p || p.get() == this;
                                   }),
                    owned.end());
        return true;
    }

    // The owning thread ended: the owner byte goes, the owned flag stays, so the next owner is told.
    void Abandon(uint32_t nThread)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (nOwnerThread == nThread)
        {
            FreeLocked();
        }
    }

    void FreeLocked()
    {
        UnlockByte(fdLock, kOwnerByte);
        nOwnerThread = 0;
        nCount = 0;
        bBusy = false;
        cvFree.notify_one();
    }
};

SOwnedGuard::~SOwnedGuard()
{
    t_bOwnedGuardDone = true;
    COwnedList* pOwned = t_pOwned;
    t_pOwned = nullptr;
    if (pOwned == nullptr)
    {
        return;
    }
    const uint32_t nThread = GetCurrentThreadId();
    for (auto& weak : *pOwned)
    {
        if (auto pMutex = weak.lock())
        {
            pMutex->Abandon(nThread);
        }
    }
    delete pOwned;
}

// ---------------------------------------------------------------------------------------------------
// Handles

enum class EKind
{
    Event,
    Mutex,
};

} // namespace

struct SKernelObject
{
    EKind eKind = EKind::Event;
    std::shared_ptr<CEventCore> pEvent;
    std::shared_ptr<SNamedMutex> pMutex;
};

namespace
{

std::mutex g_handlesMutex;
std::unordered_map<SKernelObject*, std::shared_ptr<SKernelObject>>& Handles()
{
    static auto* pHandles = new std::unordered_map<SKernelObject*, std::shared_ptr<SKernelObject>>();
    return *pHandles;
}

HANDLE Register(std::shared_ptr<SKernelObject> pObject)
{
    SKernelObject* pRaw = pObject.get();
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    Handles().emplace(pRaw, std::move(pObject));
    return pRaw;
}

std::shared_ptr<SKernelObject> Lookup(HANDLE h)
{
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    auto it = Handles().find(h);
    return it == Handles().end() ? nullptr : it->second;
}

std::shared_ptr<CEventCore> LookupEvent(HANDLE h)
{
    auto pObject = Lookup(h);
    if (!pObject || pObject->eKind != EKind::Event)
    {
        SetLastError(kErrorInvalidHandle);
        return nullptr;
    }
    return pObject->pEvent;
}

// The named objects of this process by file name, so that every handle of the process to one name
// shares one object (as Windows handles share the kernel object).
struct SNamedEntry
{
    std::weak_ptr<CEventCore> event;
    std::weak_ptr<SNamedMutex> mutex;
};
std::mutex g_namedMutex;
std::map<std::string, SNamedEntry>& NamedObjects()
{
    static auto* pNamed = new std::map<std::string, SNamedEntry>();
    return *pNamed;
}

// The file name of a named object: letters, digits and ". _ - { }" stand for themselves, every other
// byte of the UTF-8 name is written %XX; very long names are cut and get a hash of the whole name.
std::string EncodeName(const std::wstring& szName)
{
    std::string szUtf8;
    for (wchar_t ch : szName)
    {
        uint32_t cp = static_cast<uint32_t>(ch);
        if (cp < 0x80)
        {
            szUtf8.push_back(static_cast<char>(cp));
        }
        else if (cp < 0x800)
        {
            szUtf8.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            szUtf8.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
        else
        {
            szUtf8.push_back(static_cast<char>(0xE0 | ((cp >> 12) & 0x0F)));
            szUtf8.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            szUtf8.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    static const char kHex[] = "0123456789ABCDEF";
    std::string szFile;
    for (char c : szUtf8)
    {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_' ||
            u == '-' || u == '{' || u == '}' || (u == '.' && !szFile.empty()))
        {
            szFile.push_back(c);
        }
        else
        {
            szFile.push_back('%');
            szFile.push_back(kHex[u >> 4]);
            szFile.push_back(kHex[u & 15]);
        }
    }
    if (szFile.size() > 200)
    {
        uint64_t nHash = 1469598103934665603ull;
        for (char c : szUtf8)
        {
            nHash = (nHash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        }
        char buf[24];
        snprintf(buf, sizeof(buf), "~%016llx", static_cast<unsigned long long>(nHash));
        szFile = szFile.substr(0, 180) + buf;
    }
    return szFile;
}

// A folder that may hold the objects: a real directory (not a link) that this process can use.
bool IsUsableDirectory(const std::string& szDir, struct stat& st)
{
    return ::lstat(szDir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(szDir.c_str(), W_OK | X_OK) == 0;
}

// Makes szDir and its missing parents; the last one with nMode (less the umask, then set exactly).
bool MakeDirectoryPath(const std::string& szDir, mode_t nMode)
{
    size_t nPos = 1;
    while ((nPos = szDir.find('/', nPos)) != std::string::npos)
    {
        ::mkdir(szDir.substr(0, nPos).c_str(), 0755);
        ++nPos;
    }
    if (::mkdir(szDir.c_str(), nMode) == 0)
    {
        ::chmod(szDir.c_str(), nMode);
    }
    struct stat st
    {
    };
    return IsUsableDirectory(szDir, st);
}

// The systemd runtime folder of the unit: RUNTIME_DIRECTORY (the first of a colon-separated list).
std::string RuntimeDirectory()
{
    const char* szEnv = std::getenv("RUNTIME_DIRECTORY");
    if (szEnv == nullptr || *szEnv == '\0')
    {
        return std::string();
    }
    std::string szDir(szEnv);
    szDir = szDir.substr(0, szDir.find(':'));
    struct stat st
    {
    };
    return IsUsableDirectory(szDir, st) ? szDir : std::string();
}

// /run/tarvik when it is fit to hold the objects: owned by root or the service account, group the
// service group, not writable by others. Without the service account, a folder of root's that only
// root may write serves a process run by root.
bool IsTrustedRunDirectory(const struct stat& st)
{
    if ((st.st_mode & S_IWOTH) != 0)
    {
        return false;
    }
    uid_t nUid = 0;
    gid_t nGid = 0;
    if (ServiceAccountIds(nUid, nGid))
    {
        return (st.st_uid == 0 || st.st_uid == nUid) && st.st_gid == nGid;
    }
    return ::geteuid() == 0 && st.st_uid == 0 && (st.st_mode & S_IWGRP) == 0;
}

constexpr const char* kRunDirectory = "/run/tarvik";

// The user's own folder under XDG_RUNTIME_DIR (0700), made when missing.
std::string UserRuntimeDirectory()
{
    const char* szEnv = std::getenv("XDG_RUNTIME_DIR");
    if (szEnv == nullptr || *szEnv != '/')
    {
        return std::string();
    }
    const std::string szDir = std::string(szEnv) + "/tarvik";
    if (::mkdir(szDir.c_str(), 0700) == 0)
    {
        ::chmod(szDir.c_str(), 0700);
    }
    struct stat st
    {
    };
    if (!IsUsableDirectory(szDir, st) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0)
    {
        return std::string();
    }
    return szDir;
}

// Whether the owner of an object's file may have made it: this process's user, root, the service
// account or a member of its group (a member's tray program shares the objects with the service).
bool IsTrustedOwner(uid_t nOwner)
{
    if (nOwner == ::geteuid() || nOwner == 0)
    {
        return true;
    }
    uid_t nUid = 0;
    gid_t nGid = 0;
    return ServiceAccountIds(nUid, nGid) && (nOwner == nUid || IsServiceGroupMember(nOwner));
}

// Checks an opened object file: the expected kind, a single link, a trusted owner. Sets errno and
// returns false when it is refused; makes a file of this process's 0660 and of the service group.
bool AcceptObjectFile(int fd, bool bFifo)
{
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0)
    {
        return false;
    }
    if ((bFifo ? !S_ISFIFO(st.st_mode) : !S_ISREG(st.st_mode)) || st.st_nlink != 1 ||
        !IsTrustedOwner(st.st_uid))
    {
        errno = EACCES;
        return false;
    }
    if (st.st_uid == ::geteuid())
    {
        uid_t nUid = 0;
        gid_t nGid = 0;
        if (ServiceAccountIds(nUid, nGid) && st.st_gid != nGid &&
            ::fchown(fd, static_cast<uid_t>(-1), nGid) != 0)
        {
            errno = 0; // not a member: the object stays with this user's group
        }
        if ((st.st_mode & 07777) != 0660)
        {
            ::fchmod(fd, 0660);
        }
    }
    return true;
}

// Opens (creating when missing) a file of the objects directory: links are not followed, and a file
// that is not of the expected kind, has another link, or belongs to an untrusted user is refused
// (errno EACCES, or ELOOP for a symbolic link).
int OpenShared(const std::string& szPath, bool bFifo)
{
    if (bFifo)
    {
        ::mkfifo(szPath.c_str(), 0660);
    }
    const int nFlags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | (bFifo ? O_NONBLOCK : 0);
    int fd = -1;
    for (int nTry = 0; fd < 0 && nTry < 8; ++nTry)
    {
        fd = ::open(szPath.c_str(), nFlags);
        if (fd < 0 && errno == ENOENT && !bFifo)
        {
            fd = ::open(szPath.c_str(), nFlags | O_CREAT | O_EXCL, 0660);
            if (fd < 0 && errno == EEXIST)
            {
                continue;
            }
        }
        if (fd < 0)
        {
            if (errno == ELOOP)
            {
                errno = EACCES; // a symbolic link under the name: refused like any foreign object
            }
            return -1;
        }
    }
    if (fd < 0)
    {
        return -1;
    }
    if (!AcceptObjectFile(fd, bFifo))
    {
        const int nErr = errno;
        ::close(fd);
        errno = nErr;
        return -1;
    }
    return fd;
}

// How long the creation of a named object waits for another process that is creating or opening it.
constexpr auto kGateBound = std::chrono::seconds(5);

// Takes the gate byte within kGateBound, giving up early on a quit request. 0, ETIMEDOUT or errno.
int LockGate(int fd)
{
    const auto deadline = CClock::now() + kGateBound;
    for (;;)
    {
        if (LockByte(fd, kGateByte, F_WRLCK, false))
        {
            return 0;
        }
        if (errno != EAGAIN && errno != EACCES)
        {
            return errno;
        }
        if (CClock::now() >= deadline || QuitRequested())
        {
            return ETIMEDOUT;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Creates or opens the lock file of a named object and takes the holders lock; bCreated tells
// whether this process started a fresh object. fdFifo receives the event's FIFO when bEvent.
// Returns the lock file's descriptor, or -1 with the last error set.
int OpenNamedObject(const std::string& szFile, char cKind, bool& bCreated, int* pFifo, bool bInitialState)
{
    const std::string szDir = NamedObjectsDirectory();
    if (szDir.empty())
    {
        return -1;
    }
    const std::string szBase = szDir + "/" + szFile;
    const int fd = OpenShared(szBase, false);
    if (fd < 0)
    {
        SetLastErrorFromErrno();
        return -1;
    }
    if (const int nErr = LockGate(fd); nErr != 0)
    {
        SetLastError(nErr == ETIMEDOUT ? kErrorTimeout : ErrorFromErrno(nErr));
        ::close(fd);
        return -1;
    }
    bCreated = LockByte(fd, kHoldersByte, F_WRLCK, false);
    bool bOk = true;
    if (bCreated)
    {
        // Alone: a fresh object, whatever an earlier holder left in the file.
        const char state[2] = {cKind, '0'};
        bOk = ::ftruncate(fd, 0) == 0 && ::pwrite(fd, state, 2, kKindOffset) == 2;
    }
    else
    {
        char cFound = 0;
        if (::pread(fd, &cFound, 1, kKindOffset) == 1 && cFound != cKind)
        {
            // Another kind of object has this name.
            UnlockByte(fd, kGateByte);
            ::close(fd);
            SetLastError(kErrorInvalidHandle);
            return -1;
        }
    }
    int fdFifo = -1;
    if (bOk && pFifo != nullptr)
    {
        fdFifo = OpenShared(szBase + ".fifo", true);
        bOk = fdFifo >= 0;
        if (bOk && bCreated)
        {
            char buf[512];
            while (::read(fdFifo, buf, sizeof(buf)) > 0)
            {
            }
            if (bInitialState)
            {
                const char c = 1;
                bOk = ::write(fdFifo, &c, 1) == 1;
            }
        }
    }
    // Keep a shared holders lock (an exclusive one turns shared in one step).
    bOk = bOk && LockByte(fd, kHoldersByte, F_RDLCK, false);
    if (!bOk)
    {
        SetLastErrorFromErrno();
        if (fdFifo >= 0)
        {
            ::close(fdFifo);
        }
        UnlockByte(fd, kGateByte);
        ::close(fd);
        return -1;
    }
    UnlockByte(fd, kGateByte);
    if (pFifo != nullptr)
    {
        *pFifo = fdFifo;
    }
    return fd;
}

std::chrono::nanoseconds Remaining(CClock::time_point deadline)
{
    const auto now = CClock::now();
    return now >= deadline ? std::chrono::nanoseconds(0)
                           : std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now);
}

uint32_t WaitForEvents(const std::vector<std::shared_ptr<CEventCore>>& events, uint32_t nTimeoutMs)
{
    const bool bInfinite = nTimeoutMs == kInfinite;
    const auto deadline = CClock::now() + std::chrono::milliseconds(bInfinite ? 0 : nTimeoutMs);
    std::vector<pollfd> fds(events.size());
    for (;;)
    {
        for (size_t i = 0; i < events.size(); ++i)
        {
            fds[i] = pollfd{events[i]->Fd(), POLLIN, 0};
        }
        // Which are set now; the lowest index wins, an auto-reset event only if this thread empties it.
        int nReady = ::poll(fds.data(), fds.size(), 0);
        if (nReady > 0)
        {
            for (size_t i = 0; i < events.size(); ++i)
            {
                if ((fds[i].revents & POLLIN) && (events[i]->IsManualReset() || events[i]->Drain()))
                {
                    return kWaitObject0 + static_cast<uint32_t>(i);
                }
            }
        }
        timespec ts{};
        timespec* pTimeout = nullptr;
        if (!bInfinite)
        {
            const auto left = Remaining(deadline);
            if (left.count() == 0)
            {
                return kWaitTimeout;
            }
            ts.tv_sec = static_cast<time_t>(left.count() / 1000000000);
            ts.tv_nsec = static_cast<long>(left.count() % 1000000000);
            pTimeout = &ts;
        }
        for (size_t i = 0; i < events.size(); ++i)
        {
            fds[i].revents = 0;
        }
        nReady = ::ppoll(fds.data(), fds.size(), pTimeout, nullptr);
        if (nReady < 0 && errno != EINTR)
        {
            SetLastErrorFromErrno();
            return kWaitFailed;
        }
    }
}

} // namespace

std::string NamedObjectsDirectory()
{
    const char* szEnv = std::getenv("TARVIK_OBJECTS_DIR");
    if (szEnv != nullptr && *szEnv != '\0')
    {
        std::string szDir(szEnv);
        while (szDir.size() > 1 && szDir.back() == '/')
        {
            szDir.pop_back();
        }
        if (!MakeDirectoryPath(szDir, 0770))
        {
            SetLastErrorFromErrno(errno == 0 ? EACCES : errno);
            return std::string();
        }
        return szDir;
    }
    std::string szDir = RuntimeDirectory();
    if (!szDir.empty())
    {
        return szDir;
    }
    struct stat st
    {
    };
    if (::geteuid() == 0)
    {
        uid_t nUid = 0;
        gid_t nGid = 0;
        if (!ServiceAccountIds(nUid, nGid))
        {
            nGid = 0;
        }
        PrepareRunDirectory(0, nGid);
    }
    if (IsUsableDirectory(kRunDirectory, st) && IsTrustedRunDirectory(st))
    {
        return kRunDirectory;
    }
    szDir = UserRuntimeDirectory();
    if (!szDir.empty())
    {
        return szDir;
    }
    SetLastError(kErrorAccessDenied);
    return std::string();
}

bool PrepareRunDirectory(uid_t nUid, gid_t nGid)
{
    if (std::getenv("TARVIK_OBJECTS_DIR") != nullptr || !RuntimeDirectory().empty())
    {
        return true;
    }
    struct stat st
    {
    };
    if (::lstat(kRunDirectory, &st) == 0)
    {
        return S_ISDIR(st.st_mode);
    }
    const mode_t nMode = nGid == 0 ? 0700 : 0770;
    if (::mkdir(kRunDirectory, nMode) != 0)
    {
        return false;
    }
    const int fd = ::open(kRunDirectory, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
    {
        return false;
    }
    const bool bOk = ::fchown(fd, nUid, nGid) == 0 && ::fchmod(fd, nMode) == 0;
    ::close(fd);
    return bOk;
}

std::wstring NamedObjectsLocation()
{
    const int nSavedError = static_cast<int>(GetLastError());
    std::string szDir = NamedObjectsDirectory();
    SetLastError(static_cast<uint32_t>(nSavedError));
    if (szDir.empty())
    {
        const char* szEnv = std::getenv("TARVIK_OBJECTS_DIR");
        szDir = szEnv != nullptr && *szEnv != '\0' ? szEnv : "/run/tarvik or $XDG_RUNTIME_DIR/tarvik";
    }
    return WidePath(szDir);
}

HANDLE CreateEventObject(bool bManualReset, bool bInitialState)
{
    const int fd = ::eventfd(bInitialState ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0)
    {
        SetLastErrorFromErrno();
        return kInvalidHandle;
    }
    auto pObject = std::make_shared<SKernelObject>();
    pObject->eKind = EKind::Event;
    pObject->pEvent = std::make_shared<CUnnamedEvent>(bManualReset, fd);
    return Register(std::move(pObject));
}

HANDLE CreateNamedEventObject(const std::wstring& szName, bool bManualReset, bool bInitialState)
{
    const std::string szFile = EncodeName(szName);
    std::lock_guard<std::mutex> lock(g_namedMutex);
    SNamedEntry& entry = NamedObjects()[szFile];
    if (entry.mutex.lock())
    {
        SetLastError(kErrorInvalidHandle);
        return kInvalidHandle;
    }
    auto pObject = std::make_shared<SKernelObject>();
    pObject->eKind = EKind::Event;
    pObject->pEvent = entry.event.lock();
    if (pObject->pEvent)
    {
        SetLastError(kErrorAlreadyExists);
        return Register(std::move(pObject));
    }
    bool bCreated = false;
    int fdFifo = -1;
    const int fd = OpenNamedObject(szFile, 'E', bCreated, &fdFifo, bInitialState);
    if (fd < 0)
    {
        return kInvalidHandle;
    }
    pObject->pEvent = std::make_shared<CNamedEvent>(bManualReset, fd, fdFifo);
    entry.event = pObject->pEvent;
    SetLastError(bCreated ? kErrorSuccess : kErrorAlreadyExists);
    return Register(std::move(pObject));
}

HANDLE CreateNamedMutexObject(const std::wstring& szName, bool bInitialOwner)
{
    const std::string szFile = EncodeName(szName);
    std::shared_ptr<SKernelObject> pObject = std::make_shared<SKernelObject>();
    pObject->eKind = EKind::Mutex;
    bool bCreated = false;
    {
        std::lock_guard<std::mutex> lock(g_namedMutex);
        SNamedEntry& entry = NamedObjects()[szFile];
        if (entry.event.lock())
        {
            SetLastError(kErrorInvalidHandle);
            return kInvalidHandle;
        }
        pObject->pMutex = entry.mutex.lock();
        if (!pObject->pMutex)
        {
            const int fd = OpenNamedObject(szFile, 'M', bCreated, nullptr, false);
            if (fd < 0)
            {
                return kInvalidHandle;
            }
            pObject->pMutex = std::make_shared<SNamedMutex>();
            pObject->pMutex->fdLock = fd;
            entry.mutex = pObject->pMutex;
        }
    }
    if (bInitialOwner && bCreated)
    {
        // Only the creator takes an initial ownership, as on Windows.
        pObject->pMutex->Acquire(pObject->pMutex, kInfinite);
    }
    SetLastError(bCreated ? kErrorSuccess : kErrorAlreadyExists);
    return Register(std::move(pObject));
}

bool SetEventObject(HANDLE hEvent)
{
    auto pEvent = LookupEvent(hEvent);
    if (!pEvent)
    {
        return false;
    }
    if (!pEvent->Set())
    {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool ResetEventObject(HANDLE hEvent)
{
    auto pEvent = LookupEvent(hEvent);
    if (!pEvent)
    {
        return false;
    }
    pEvent->Drain();
    return true;
}

bool ReleaseMutexObject(HANDLE hMutex)
{
    auto pObject = Lookup(hMutex);
    if (!pObject || pObject->eKind != EKind::Mutex)
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    return pObject->pMutex->Release();
}

bool CloseHandleObject(HANDLE hObject)
{
    std::shared_ptr<SKernelObject> pObject;
    {
        std::lock_guard<std::mutex> lock(g_handlesMutex);
        auto it = Handles().find(hObject);
        if (it == Handles().end())
        {
            SetLastError(kErrorInvalidHandle);
            return false;
        }
        pObject = std::move(it->second);
        Handles().erase(it);
    }
    // The last handle of a named object in this process closes its files; the map entry stays empty.
    std::lock_guard<std::mutex> lock(g_namedMutex);
    pObject.reset();
    return true;
}

uint32_t WaitForSingleObject(HANDLE hObject, uint32_t nTimeoutMs)
{
    auto pObject = Lookup(hObject);
    if (!pObject)
    {
        SetLastError(kErrorInvalidHandle);
        return kWaitFailed;
    }
    if (pObject->eKind == EKind::Mutex)
    {
        return pObject->pMutex->Acquire(pObject->pMutex, nTimeoutMs);
    }
    return WaitForEvents({pObject->pEvent}, nTimeoutMs);
}

uint32_t WaitForMultipleObjects(const HANDLE* pHandles, size_t nCount, uint32_t nTimeoutMs)
{
    if (pHandles == nullptr || nCount == 0 || nCount > kMaximumWaitObjects)
    {
        SetLastError(kErrorInvalidParameter);
        return kWaitFailed;
    }
    std::vector<std::shared_ptr<CEventCore>> events;
    events.reserve(nCount);
    for (size_t i = 0; i < nCount; ++i)
    {
        auto pObject = Lookup(pHandles[i]);
        if (!pObject)
        {
            SetLastError(kErrorInvalidHandle);
            return kWaitFailed;
        }
        if (pObject->eKind != EKind::Event)
        {
            SetLastError(kErrorInvalidParameter);
            return kWaitFailed;
        }
        events.push_back(pObject->pEvent);
    }
    return WaitForEvents(events, nTimeoutMs);
}

bool IsEventSet(HANDLE hEvent)
{
    auto pEvent = LookupEvent(hEvent);
    return pEvent && pEvent->IsSet();
}

} // namespace platform
