// Linux backend of the TCP stream socket: getaddrinfo, non-blocking connect and poll for the time
// limits, send with MSG_NOSIGNAL.
#include "platform/Socket.h"

#include "platform/SysError.h"
#include "platform/SysError_posix.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform
{

namespace
{

using Clock = std::chrono::steady_clock;

// Milliseconds left until the deadline, at least 0, as a poll time-out.
int RemainingMs(Clock::time_point tDeadline)
{
    const auto nLeft =
        std::chrono::duration_cast<std::chrono::milliseconds>(tDeadline - Clock::now()).count();
    if (nLeft <= 0)
        return 0;
    return nLeft > INT_MAX ? INT_MAX : static_cast<int>(nLeft);
}

// Waits for the events on the descriptor until the deadline. 1 ready, 0 timed out, -1 error
// (last error set in both failure cases).
int WaitFor(int hSocket, short nEvents, Clock::time_point tDeadline)
{
    for (;;)
    {
        pollfd pfd{hSocket, nEvents, 0};
        const int nResult = poll(&pfd, 1, RemainingMs(tDeadline));
        if (nResult > 0)
            return 1;
        if (nResult == 0)
        {
            SetLastError(kErrorTimeout);
            return 0;
        }
        if (errno != EINTR)
        {
            SetLastErrorFromErrno();
            return -1;
        }
    }
}

// One connection try to one address, bounded by the deadline. Returns the connected descriptor
// (blocking again) or -1.
int ConnectOne(const addrinfo& ai, Clock::time_point tDeadline)
{
    const int hSocket = socket(ai.ai_family, ai.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai.ai_protocol);
    if (hSocket < 0)
    {
        SetLastErrorFromErrno();
        return -1;
    }
    int nResult = connect(hSocket, ai.ai_addr, ai.ai_addrlen);
    if (nResult != 0 && (errno == EINPROGRESS || errno == EINTR))
    {
        if (WaitFor(hSocket, POLLOUT, tDeadline) == 1)
        {
            int nError = 0;
            socklen_t nLen = sizeof nError;
            if (getsockopt(hSocket, SOL_SOCKET, SO_ERROR, &nError, &nLen) != 0)
                nError = errno;
            nResult = nError == 0 ? 0 : -1;
            if (nError != 0)
                SetLastErrorFromErrno(nError);
        }
    }
    else if (nResult != 0)
        SetLastErrorFromErrno();
    if (nResult != 0)
    {
        close(hSocket);
        return -1;
    }
    const int nFlags = fcntl(hSocket, F_GETFL);
    fcntl(hSocket, F_SETFL, nFlags & ~O_NONBLOCK);
    return hSocket;
}

} // namespace

struct CSocket::SState
{
    int hSocket = -1;
};

CSocket::CSocket() : m_pState(std::make_unique<SState>()) {}

bool CSocket::IsConnected() const
{
    return m_pState->hSocket >= 0;
}

CSocket::~CSocket()
{
    Close();
}

void CSocket::Close()
{
    if (m_pState->hSocket >= 0)
    {
        close(m_pState->hSocket);
        m_pState->hSocket = -1;
    }
}

bool CSocket::Connect(const std::string& szHost, uint16_t nPort, uint32_t nTimeoutMs)
{
    Close();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    const std::string szPort = std::to_string(nPort);
    addrinfo* pList = nullptr;
    int nResult = getaddrinfo(szHost.c_str(), szPort.c_str(), &hints, &pList);
    if (nResult != 0)
    {
        // Loopback-only machines have no configured address family; try again without the filter.
        hints.ai_flags = 0;
        nResult = getaddrinfo(szHost.c_str(), szPort.c_str(), &hints, &pList);
    }
    if (nResult != 0)
    {
        if (nResult == EAI_SYSTEM)
            SetLastErrorFromErrno();
        else
            SetLastError(nResult == EAI_MEMORY ? kErrorNotEnoughMemory : kErrorFileNotFound);
        return false;
    }
    for (const addrinfo* p = pList; p != nullptr && m_pState->hSocket < 0; p = p->ai_next)
        m_pState->hSocket = ConnectOne(*p, Clock::now() + std::chrono::milliseconds(nTimeoutMs));
    freeaddrinfo(pList);
    return m_pState->hSocket >= 0;
}

bool CSocket::Send(const void* pData, size_t nSize, uint32_t nTimeoutMs)
{
    if (m_pState->hSocket < 0)
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    const auto tDeadline = Clock::now() + std::chrono::milliseconds(nTimeoutMs);
    const char* p = static_cast<const char*>(pData);
    while (nSize > 0)
    {
        if (WaitFor(m_pState->hSocket, POLLOUT, tDeadline) != 1)
            return false;
        const ssize_t nSent = send(m_pState->hSocket, p, nSize, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (nSent < 0)
        {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            SetLastErrorFromErrno();
            return false;
        }
        p += nSent;
        nSize -= static_cast<size_t>(nSent);
    }
    return true;
}

long CSocket::Receive(void* pBuffer, size_t nSize, uint32_t nTimeoutMs)
{
    if (m_pState->hSocket < 0)
    {
        SetLastError(kErrorInvalidHandle);
        return -1;
    }
    const auto tDeadline = Clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;)
    {
        if (WaitFor(m_pState->hSocket, POLLIN, tDeadline) != 1)
            return -1;
        const ssize_t nReceived = recv(m_pState->hSocket, pBuffer, nSize, MSG_DONTWAIT);
        if (nReceived >= 0)
            return static_cast<long>(nReceived);
        if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)
        {
            SetLastErrorFromErrno();
            return -1;
        }
    }
}

std::string LocalHostName()
{
    char szName[HOST_NAME_MAX + 1] = {};
    if (gethostname(szName, sizeof szName - 1) != 0)
    {
        SetLastErrorFromErrno();
        return {};
    }
    return szName;
}

} // namespace platform
