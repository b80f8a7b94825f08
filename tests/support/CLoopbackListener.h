// Test helper: a listening TCP socket on a loopback address and a free port, with accept and
// plain blocking helpers for the accepted connection. CLoopbackListener_posix.cpp (BSD sockets)
// and CLoopbackListener_win.cpp (Winsock 2, started by the first listener) implement it.
//
//     CLoopbackListener listener;            // "127.0.0.1" or "::1"
//     ASSERT_TRUE(listener.Listen()) ;
//     ... connect to listener.Port() ...
//     int hPeer = listener.Accept(5000);      // -1 after the time-out
//
// Connections are plain ints on every system: on Windows the SOCKET value, which Windows keeps
// within 32 bits like every kernel handle.
#pragma once

#include <string>

class CLoopbackListener
{
public:
    CLoopbackListener() = default;
    ~CLoopbackListener() { Close(); }
    CLoopbackListener(const CLoopbackListener&) = delete;
    CLoopbackListener& operator=(const CLoopbackListener&) = delete;

    // Binds to the address (IPv4 or IPv6 text) and a free port and listens. False on failure.
    bool Listen(const std::string& szAddress = "127.0.0.1");

    // Waits up to nTimeoutMs for a connection; returns its descriptor (owned by the caller) or -1.
    int Accept(int nTimeoutMs);

    void Close();

    int Port() const { return m_nPort; }

    // Closes an accepted connection (negative descriptors are ignored).
    static void CloseSocket(int hSocket);

    // Sends the whole text; false on error.
    static bool SendAll(int hSocket, const std::string& szText);

    // Receives what is there within nTimeoutMs: the bytes read (empty at time-out), and bClosed set
    // when the peer closed the connection or it failed.
    static std::string ReceiveSome(int hSocket, int nTimeoutMs, bool& bClosed);

private:
    int m_hListen = -1;
    int m_nPort = 0;
};
