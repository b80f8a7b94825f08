// The loopback listener of the tests on Linux: BSD sockets and poll.
#include "tests/support/CLoopbackListener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

bool CLoopbackListener::Listen(const std::string& szAddress)
{
    const bool bV6 = szAddress.find(':') != std::string::npos;
    m_hListen = socket(bV6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_hListen < 0)
        return false;
    const int nOn = 1;
    setsockopt(m_hListen, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
    sockaddr_storage addr{};
    socklen_t nLen = 0;
    if (bV6)
    {
        auto* p = reinterpret_cast<sockaddr_in6*>(&addr);
        p->sin6_family = AF_INET6;
        if (inet_pton(AF_INET6, szAddress.c_str(), &p->sin6_addr) != 1)
            return false;
        nLen = sizeof *p;
    }
    else
    {
        auto* p = reinterpret_cast<sockaddr_in*>(&addr);
        p->sin_family = AF_INET;
        if (inet_pton(AF_INET, szAddress.c_str(), &p->sin_addr) != 1)
            return false;
        nLen = sizeof *p;
    }
    if (bind(m_hListen, reinterpret_cast<sockaddr*>(&addr), nLen) != 0 || listen(m_hListen, 8) != 0)
        return false;
    nLen = sizeof addr;
    getsockname(m_hListen, reinterpret_cast<sockaddr*>(&addr), &nLen);
    m_nPort = bV6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port)
                  : ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
    return true;
}

int CLoopbackListener::Accept(int nTimeoutMs)
{
    pollfd pfd{m_hListen, POLLIN, 0};
    if (poll(&pfd, 1, nTimeoutMs) != 1)
        return -1;
    const int hPeer = accept4(m_hListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (hPeer >= 0)
    {
        const int nOn = 1;
        setsockopt(hPeer, IPPROTO_TCP, TCP_NODELAY, &nOn, sizeof nOn);
    }
    return hPeer;
}

void CLoopbackListener::Close()
{
    if (m_hListen >= 0)
        close(m_hListen);
    m_hListen = -1;
}

void CLoopbackListener::CloseSocket(int hSocket)
{
    if (hSocket >= 0)
        close(hSocket);
}

bool CLoopbackListener::SendAll(int hSocket, const std::string& szText)
{
    size_t nDone = 0;
    while (nDone < szText.size())
    {
        const ssize_t n = send(hSocket, szText.data() + nDone, szText.size() - nDone, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        nDone += static_cast<size_t>(n);
    }
    return true;
}

std::string CLoopbackListener::ReceiveSome(int hSocket, int nTimeoutMs, bool& bClosed)
{
    bClosed = false;
    pollfd pfd{hSocket, POLLIN, 0};
    if (poll(&pfd, 1, nTimeoutMs) != 1)
        return std::string();
    char buffer[65536];
    const ssize_t n = recv(hSocket, buffer, sizeof buffer, 0);
    if (n <= 0)
    {
        bClosed = true;
        return std::string();
    }
    return std::string(buffer, static_cast<size_t>(n));
}
