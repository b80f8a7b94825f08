// The SMTP reply reader against a server on loopback that sends arbitrary bytes: the input is
// the server's whole side of the dialogue (greeting and every reply), after which it closes. The
// client connects, says HELO and QUIT, and must end without fault or hang.
#include "mail/CSMTP.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace
{

int ListenOnLoopback(int& nPort)
{
    const int nFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLength = sizeof(address);
    if (nFd < 0 || ::bind(nFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(nFd, 4) != 0 || ::getsockname(nFd, reinterpret_cast<sockaddr*>(&address), &nLength) != 0)
        return -1;
    nPort = ntohs(address.sin_port);
    return nFd;
}

// Accepts one client, sends the bytes, closes its side and reads what the client says until it
// closes too (so that the client's commands never meet a reset).
void Serve(int nListen, const uint8_t* pData, size_t nSize)
{
    const int nFd = ::accept4(nListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (nFd < 0)
        return;
    for (size_t nDone = 0; nDone < nSize;)
    {
        const ssize_t n = ::send(nFd, pData + nDone, nSize - nDone, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        nDone += static_cast<size_t>(n);
    }
    ::shutdown(nFd, SHUT_WR);
    char buffer[4096];
    while (::read(nFd, buffer, sizeof(buffer)) > 0)
    {
    }
    ::close(nFd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static int s_nPort = 0;
    static const int s_nListen = ListenOnLoopback(s_nPort);
    if (s_nListen < 0)
        return 0;
    SSmtpLimits limits;
    limits.m_nConnectMs = limits.m_nGreetingMs = limits.m_nCommandMs = 2000;
    std::thread server(Serve, s_nListen, pData, nSize);
    {
        CSMTP smtp("127.0.0.1", s_nPort, limits);
        if (smtp.Connect())
            smtp.Disconnect();
        smtp.LastError();
    }
    server.join();
    return 0;
}
