// Windows backend of the TCP stream socket on Winsock 2: started once per process, GetAddrInfoW,
// and a socket kept non-blocking, with select bounding the connect, every send and every receive.
#include "platform/Socket.h"

#include "platform/SysError.h"
#include "platform/Windows_win.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <climits>

namespace platform
{

namespace
{

using Clock = std::chrono::steady_clock;

// Starts Winsock 2.2 once for the process (it stays started until the process ends). False with
// the last error set when it cannot start.
bool StartWinsock()
{
    static const int nResult = []
    {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data);
    }();
    if (nResult != 0)
        SetLastError(static_cast<uint32_t>(nResult));
    return nResult == 0;
}

void SetSocketError()
{
    SetLastError(static_cast<uint32_t>(::WSAGetLastError()));
}

enum class EWait
{
    Read,
    Write,
    Connect, // writable, or the connect failed (reported in the exception set; SO_ERROR tells)
};

// Waits until the socket is ready as asked or the deadline passes. 1 ready, 0 timed out, -1 error
// (last error set in both failure cases).
int WaitFor(SOCKET hSocket, EWait eWait, Clock::time_point tDeadline)
{
    for (;;)
    {
        const auto nLeft =
            std::chrono::duration_cast<std::chrono::milliseconds>(tDeadline - Clock::now()).count();
        const long nMs = nLeft <= 0 ? 0 : nLeft > INT_MAX ? INT_MAX : static_cast<long>(nLeft);
        timeval timeout{nMs / 1000, (nMs % 1000) * 1000};
        fd_set ready, failed;
        FD_ZERO(&ready);
        FD_ZERO(&failed);
        FD_SET(hSocket, &ready);
        FD_SET(hSocket, &failed);
        const int nResult =
            ::select(0, eWait == EWait::Read ? &ready : nullptr, eWait == EWait::Read ? nullptr : &ready,
                     eWait == EWait::Connect ? &failed : nullptr, &timeout);
        if (nResult > 0)
            return 1;
        if (nResult == 0)
        {
            if (nLeft > 0 && Clock::now() < tDeadline)
                continue; // woken early by the clock's granularity
            SetLastError(kErrorTimeout);
            return 0;
        }
        if (::WSAGetLastError() != WSAEINTR)
        {
            SetSocketError();
            return -1;
        }
    }
}

// One connection try to one address, bounded by the deadline. Returns the connected socket (left
// non-blocking) or INVALID_SOCKET.
SOCKET ConnectOne(const ADDRINFOW& ai, Clock::time_point tDeadline)
{
    const SOCKET hSocket = ::WSASocketW(ai.ai_family, ai.ai_socktype, ai.ai_protocol, nullptr, 0,
                                        WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (hSocket == INVALID_SOCKET)
    {
        SetSocketError();
        return INVALID_SOCKET;
    }
    u_long nNonBlocking = 1;
    bool bConnected = ::ioctlsocket(hSocket, FIONBIO, &nNonBlocking) == 0;
    if (!bConnected)
        SetSocketError();
    else if (::connect(hSocket, ai.ai_addr, static_cast<int>(ai.ai_addrlen)) != 0)
    {
        bConnected = false;
        if (::WSAGetLastError() != WSAEWOULDBLOCK)
            SetSocketError();
        else if (WaitFor(hSocket, EWait::Connect, tDeadline) == 1)
        {
            int nError = 0;
            int nLength = sizeof nError;
            if (::getsockopt(hSocket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&nError), &nLength) != 0)
                nError = ::WSAGetLastError();
            bConnected = nError == 0;
            if (!bConnected)
                SetLastError(static_cast<uint32_t>(nError));
        }
    }
    if (!bConnected)
    {
        ::closesocket(hSocket);
        return INVALID_SOCKET;
    }
    return hSocket;
}

// The wide form of a UTF-8 (or ASCII) host name.
std::wstring WideHost(const std::string& szHost)
{
    std::wstring szWide;
    const int nLength =
        ::MultiByteToWideChar(CP_UTF8, 0, szHost.data(), static_cast<int>(szHost.size()), nullptr, 0);
    if (nLength > 0)
    {
        szWide.resize(static_cast<size_t>(nLength));
        ::MultiByteToWideChar(CP_UTF8, 0, szHost.data(), static_cast<int>(szHost.size()), szWide.data(),
                              nLength);
    }
    return szWide;
}

} // namespace

struct CSocket::SState
{
    SOCKET hSocket = INVALID_SOCKET;
};

CSocket::CSocket() : m_pState(std::make_unique<SState>()) {}

bool CSocket::IsConnected() const
{
    return m_pState->hSocket != INVALID_SOCKET;
}

CSocket::~CSocket()
{
    Close();
}

void CSocket::Close()
{
    if (m_pState->hSocket != INVALID_SOCKET)
    {
        ::closesocket(m_pState->hSocket);
        m_pState->hSocket = INVALID_SOCKET;
    }
}

bool CSocket::Connect(const std::string& szHost, uint16_t nPort, uint32_t nTimeoutMs)
{
    Close();
    if (!StartWinsock())
        return false;
    const std::wstring szWideHost = WideHost(szHost);
    if (szWideHost.empty() || szHost.find('\0') != std::string::npos)
    {
        SetLastError(kWsaHostNotFound);
        return false;
    }
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_ADDRCONFIG;
    const std::wstring szPort = std::to_wstring(nPort);
    ADDRINFOW* pList = nullptr;
    int nResult = ::GetAddrInfoW(szWideHost.c_str(), szPort.c_str(), &hints, &pList);
    if (nResult != 0)
    {
        // Loopback-only machines have no configured address family; try again without the filter.
        hints.ai_flags = 0;
        nResult = ::GetAddrInfoW(szWideHost.c_str(), szPort.c_str(), &hints, &pList);
    }
    if (nResult != 0)
    {
        SetLastError(static_cast<uint32_t>(nResult));
        return false;
    }
    for (const ADDRINFOW* p = pList; p != nullptr && m_pState->hSocket == INVALID_SOCKET; p = p->ai_next)
        m_pState->hSocket = ConnectOne(*p, Clock::now() + std::chrono::milliseconds(nTimeoutMs));
    ::FreeAddrInfoW(pList);
    return m_pState->hSocket != INVALID_SOCKET;
}

bool CSocket::Send(const void* pData, size_t nSize, uint32_t nTimeoutMs)
{
    if (m_pState->hSocket == INVALID_SOCKET)
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    const auto tDeadline = Clock::now() + std::chrono::milliseconds(nTimeoutMs);
    const char* p = static_cast<const char*>(pData);
    while (nSize > 0)
    {
        if (WaitFor(m_pState->hSocket, EWait::Write, tDeadline) != 1)
            return false;
        const int nWant = static_cast<int>(nSize > INT_MAX ? INT_MAX : nSize);
        const int nSent = ::send(m_pState->hSocket, p, nWant, 0);
        if (nSent == SOCKET_ERROR)
        {
            const int nError = ::WSAGetLastError();
            if (nError == WSAEWOULDBLOCK || nError == WSAEINTR)
                continue;
            SetLastError(static_cast<uint32_t>(nError));
            return false;
        }
        p += nSent;
        nSize -= static_cast<size_t>(nSent);
    }
    return true;
}

long CSocket::Receive(void* pBuffer, size_t nSize, uint32_t nTimeoutMs)
{
    if (m_pState->hSocket == INVALID_SOCKET)
    {
        SetLastError(kErrorInvalidHandle);
        return -1;
    }
    const auto tDeadline = Clock::now() + std::chrono::milliseconds(nTimeoutMs);
    const int nWant = static_cast<int>(nSize > INT_MAX ? INT_MAX : nSize);
    for (;;)
    {
        if (WaitFor(m_pState->hSocket, EWait::Read, tDeadline) != 1)
            return -1;
        const int nReceived = ::recv(m_pState->hSocket, static_cast<char*>(pBuffer), nWant, 0);
        if (nReceived != SOCKET_ERROR)
            return nReceived;
        const int nError = ::WSAGetLastError();
        if (nError != WSAEWOULDBLOCK && nError != WSAEINTR)
        {
            SetLastError(static_cast<uint32_t>(nError));
            return -1;
        }
    }
}

std::string LocalHostName()
{
    if (!StartWinsock())
        return {};
    wchar_t szName[256] = {};
    if (::GetHostNameW(szName, static_cast<int>(sizeof szName / sizeof szName[0])) != 0)
    {
        SetSocketError();
        return {};
    }
    const int nLength = ::WideCharToMultiByte(CP_UTF8, 0, szName, -1, nullptr, 0, nullptr, nullptr);
    if (nLength <= 1)
        return {};
    std::string szResult(static_cast<size_t>(nLength - 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, szName, -1, szResult.data(), nLength, nullptr, nullptr);
    return szResult;
}

} // namespace platform
