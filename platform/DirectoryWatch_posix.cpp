// Subtree change notification on inotify: one watch per directory of the tree, an eventfd to cancel
// a blocked read.
#include "platform/DirectoryWatch.h"

#include "platform/FileSystem.h"
#include "platform/InotifyDecoder_posix.h"
#include "platform/SysError.h"
#include "platform/SysError_posix.h"
#include "platform/FileSystem_posix.h"

#include <dirent.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform
{

struct CDirectoryWatch::SState
{
    int nInotify = -1;
    int nCancel = -1;
    std::string szRoot; // native path with a trailing '/'
    bool bRootGone = false;
    CInotifyDecoder decoder;
    alignas(inotify_event) unsigned char buffer[64 * 1024]; // room for many records
};

namespace
{

// Watches szRelative (and, recursively, its subdirectories); with bReport every file found is
// reported as added, since it may have been created before the watch was in place.
bool WatchTree(int nInotify, const std::string& szRoot, const std::string& szRelative,
               CInotifyDecoder& decoder, std::vector<SDirectoryChange>* pChanges, int nDepth)
{
    std::string szPath = szRoot + szRelative;
    int nWd = inotify_add_watch(nInotify, szPath.c_str(), InotifyWatchMask());
    if (nWd < 0)
    {
        SetLastErrorFromErrno();
        return false;
    }
    decoder.AddWatch(nWd, szRelative);
    if (nDepth > 64)
        return true; // guards against directory loops through bind mounts
    DIR* pDir = opendir(szPath.c_str());
    if (pDir == nullptr)
        return true;
    while (dirent* pEntry = readdir(pDir))
    {
        std::string szName = pEntry->d_name;
        if (szName == "." || szName == "..")
            continue;
        bool bDirectory = pEntry->d_type == DT_DIR;
        if (pEntry->d_type == DT_UNKNOWN)
        {
            struct stat st;
            bDirectory = lstat((szPath + szName).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        if (bDirectory)
            WatchTree(nInotify, szRoot, szRelative + szName + "/", decoder, pChanges, nDepth + 1);
        else if (pChanges != nullptr)
            pChanges->push_back(SDirectoryChange{kFileActionAdded, WidePath(szRelative + szName)});
    }
    closedir(pDir);
    return true;
}

} // namespace

CDirectoryWatch::CDirectoryWatch() : m_pState(std::make_unique<SState>())
{
    m_pState->nCancel = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

CDirectoryWatch::~CDirectoryWatch()
{
    Close();
    if (m_pState->nCancel >= 0)
        close(m_pState->nCancel);
}

bool CDirectoryWatch::Open(const std::wstring& szDirectory)
{
    Close();
    std::string szRoot = NativePath(szDirectory);
    while (szRoot.size() > 1 && szRoot.back() == '/')
        szRoot.pop_back();
    struct stat st;
    if (stat(szRoot.c_str(), &st) != 0)
    {
        SetLastErrorFromErrno();
        return false;
    }
    if (!S_ISDIR(st.st_mode))
    {
        SetLastError(kErrorDirectory);
        return false;
    }
    if (szRoot != "/")
        szRoot += '/';
    int nInotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (nInotify < 0)
    {
        SetLastErrorFromErrno();
        return false;
    }
    m_pState->decoder = CInotifyDecoder();
    if (!WatchTree(nInotify, szRoot, "", m_pState->decoder, nullptr, 0))
    {
        uint32_t nError = GetLastError();
        close(nInotify);
        SetLastError(nError);
        return false;
    }
    m_pState->nInotify = nInotify;
    m_pState->szRoot = szRoot;
    m_pState->bRootGone = false;
    return true;
}

CDirectoryWatch::EResult CDirectoryWatch::Read(std::vector<SDirectoryChange>& changes, bool& bOverflow)
{
    bOverflow = false;
    if (m_pState->nInotify < 0)
    {
        SetLastError(kErrorInvalidHandle);
        return EResult::Failed;
    }
    unsigned char* buffer = m_pState->buffer;
    for (;;)
    {
        pollfd fds[2] = {{m_pState->nCancel, POLLIN, 0}, {m_pState->nInotify, POLLIN, 0}};
        int nReady = poll(fds, 2, -1);
        if (nReady < 0)
        {
            if (errno == EINTR)
                continue;
            SetLastErrorFromErrno();
            return EResult::Failed;
        }
        if (fds[0].revents & POLLIN)
            return EResult::Cancelled; // not consumed: every later read is cancelled too
        if (!(fds[1].revents & POLLIN))
            continue;
        ssize_t nRead = read(m_pState->nInotify, buffer, sizeof(m_pState->buffer));
        if (nRead < 0)
        {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            SetLastErrorFromErrno();
            return EResult::Failed;
        }
        SWatchUpdate update;
        m_pState->decoder.Decode(SplitInotifyBuffer(buffer, static_cast<size_t>(nRead)), changes, update);
        for (int nWd : update.droppedWatches)
            inotify_rm_watch(m_pState->nInotify, nWd);
        for (const std::string& szRelative : update.newDirectories)
            WatchTree(m_pState->nInotify, m_pState->szRoot, szRelative, m_pState->decoder, &changes, 1);
        bOverflow = update.bOverflow;
        if (update.bRootGone)
            m_pState->bRootGone = true;
        return EResult::Changes;
    }
}

bool CDirectoryWatch::RootGone() const
{
    return m_pState->bRootGone;
}

void CDirectoryWatch::Cancel()
{
    if (m_pState->nCancel >= 0)
    {
        uint64_t nOne = 1;
        ssize_t nWritten = write(m_pState->nCancel, &nOne, sizeof(nOne));
        (void)nWritten;
    }
}

void CDirectoryWatch::Close()
{
    if (m_pState->nInotify >= 0)
    {
        close(m_pState->nInotify);
        m_pState->nInotify = -1;
    }
}

} // namespace platform
