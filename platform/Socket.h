// A blocking TCP stream socket with time limits, and the local host name.
//
// Stands in for the framework's blocking socket over Winsock. Differences from it: every call that
// can wait takes a time limit in milliseconds, so a silent peer cannot hold the calling thread for
// ever; no socket library start-up is needed; writing to a connection the peer has closed fails the
// call instead of raising a signal. Failures set the thread's last error (SysError.h) in Windows
// numbering; a time-out sets kErrorTimeout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform
{

class CSocket
{
public:
    CSocket();
    ~CSocket(); // closes
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;

    // Resolves the host (a name, a dotted IPv4 or an IPv6 address) and connects to the port, trying
    // each address in turn; each try is bounded by nTimeoutMs. Closes a previous connection first.
    // The name look-up itself is bounded by the system's resolver settings.
    bool Connect(const std::string& szHost, uint16_t nPort, uint32_t nTimeoutMs);

    // Sends the whole buffer, waiting at most nTimeoutMs in all. False on error or time-out.
    bool Send(const void* pData, size_t nSize, uint32_t nTimeoutMs);
    bool Send(const std::string& szData, uint32_t nTimeoutMs)
    {
        return Send(szData.data(), szData.size(), nTimeoutMs);
    }

    // Receives up to nSize bytes once some are there, waiting at most nTimeoutMs. Returns the count
    // (> 0), 0 when the peer closed the connection, or -1 on error or time-out (see the last error).
    long Receive(void* pBuffer, size_t nSize, uint32_t nTimeoutMs);

    void Close();
    bool IsConnected() const;

private:
    struct SState;
    std::unique_ptr<SState> m_pState;
};

// The local machine's host name as the system reports it (the whole name); empty on failure.
std::string LocalHostName();

} // namespace platform
