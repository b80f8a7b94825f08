// The loopback listener of the tests on Windows: Winsock 2 (WSAStartup once per program), WSAPoll
// for the time-outs, sockets handed out as int.
#include "tests/support/CLoopbackListener.h"

#include "platform/Windows_win.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>

namespace
{

bool StartWinsock()
{
    static const bool bStarted = []
    {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return bStarted;
}

SOCKET ToSocket(int hSocket)
{
    return static_cast<SOCKET>(static_cast<unsigned>(hSocket));
}

int FromSocket(SOCKET hSocket)
{
    return hSocket == INVALID_SOCKET ? -1 : static_cast<int>(hSocket);
}

// Waits up to nTimeoutMs for the socket to become readable (a connection waiting, data, or the end).
bool Readable(SOCKET hSocket, int nTimeoutMs)
{
    WSAPOLLFD pfd = {};
    pfd.fd = hSocket;
    pfd.events = POLLRDNORM;
    return ::WSAPoll(&pfd, 1, nTimeoutMs) == 1;
}

} // namespace

bool CLoopbackListener::Listen(const std::string& szAddress)
{
    if (!StartWinsock())
        return false;
    const bool bV6 = szAddress.find(':') != std::string::npos;
    const SOCKET hListen = ::WSASocketW(bV6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                        WSA_FLAG_NO_HANDLE_INHERIT);
    m_hListen = FromSocket(hListen);
    if (m_hListen < 0)
        return false;
    // Windows' SO_REUSEADDR would let another program take the port too; an exclusive listener is
    // what the Linux flag gives.
    const BOOL bOn = TRUE;
    ::setsockopt(hListen, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&bOn), sizeof bOn);
    sockaddr_storage addr{};
    int nLen = 0;
    if (bV6)
    {
        auto* p = reinterpret_cast<sockaddr_in6*>(&addr);
        p->sin6_family = AF_INET6;
        if (::inet_pton(AF_INET6, szAddress.c_str(), &p->sin6_addr) != 1)
            return false;
        nLen = sizeof *p;
    }
    else
    {
        auto* p = reinterpret_cast<sockaddr_in*>(&addr);
        p->sin_family = AF_INET;
        if (::inet_pton(AF_INET, szAddress.c_str(), &p->sin_addr) != 1)
            return false;
        nLen = sizeof *p;
    }
    if (::bind(hListen, reinterpret_cast<sockaddr*>(&addr), nLen) != 0 || ::listen(hListen, 8) != 0)
        return false;
    nLen = sizeof addr;
    ::getsockname(hListen, reinterpret_cast<sockaddr*>(&addr), &nLen);
    m_nPort = bV6 ? ::ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port)
                  : ::ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
    return true;
}

int CLoopbackListener::Accept(int nTimeoutMs)
{
    if (m_hListen < 0 || !Readable(ToSocket(m_hListen), nTimeoutMs))
        return -1;
    const SOCKET hPeer = ::accept(ToSocket(m_hListen), nullptr, nullptr);
    if (hPeer != INVALID_SOCKET)
    {
        ::SetHandleInformation(reinterpret_cast<HANDLE>(hPeer), HANDLE_FLAG_INHERIT, 0);
        const BOOL bOn = TRUE;
        ::setsockopt(hPeer, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&bOn), sizeof bOn);
    }
    return FromSocket(hPeer);
}

void CLoopbackListener::Close()
{
    if (m_hListen >= 0)
        ::closesocket(ToSocket(m_hListen));
    m_hListen = -1;
}

void CLoopbackListener::CloseSocket(int hSocket)
{
    if (hSocket >= 0)
        ::closesocket(ToSocket(hSocket));
}

bool CLoopbackListener::SendAll(int hSocket, const std::string& szText)
{
    size_t nDone = 0;
    while (nDone < szText.size())
    {
        const int nChunk = static_cast<int>(std::min<size_t>(szText.size() - nDone, 1 << 20));
        const int n = ::send(ToSocket(hSocket), szText.data() + nDone, nChunk, 0);
        if (n <= 0)
            return false;
        nDone += static_cast<size_t>(n);
    }
    return true;
}

std::string CLoopbackListener::ReceiveSome(int hSocket, int nTimeoutMs, bool& bClosed)
{
    bClosed = false;
    if (!Readable(ToSocket(hSocket), nTimeoutMs))
        return std::string();
    char buffer[65536];
    const int n = ::recv(ToSocket(hSocket), buffer, sizeof buffer, 0);
    if (n <= 0)
    {
        bClosed = true;
        return std::string();
    }
    return std::string(buffer, static_cast<size_t>(n));
}
