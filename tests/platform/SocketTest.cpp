// The TCP stream socket against real loopback listeners, IPv4 and IPv6.
#include "platform/Socket.h"
#include "platform/SysError.h"
#include "tests/support/CLoopbackListener.h"

#include <gtest/gtest.h>

#include <thread>

namespace
{

constexpr uint32_t kGenerousMs = 20000;

class SocketTest : public ::testing::TestWithParam<const char*>
{
};

TEST_P(SocketTest, ConnectsSendsWholeBuffersAndReceives)
{
    CLoopbackListener listener;
    ASSERT_TRUE(listener.Listen(GetParam()));
    platform::CSocket socket;
    ASSERT_TRUE(socket.Connect(GetParam(), static_cast<uint16_t>(listener.Port()), kGenerousMs));
    const int hPeer = listener.Accept(kGenerousMs);
    ASSERT_GE(hPeer, 0);

    // A buffer far larger than the socket buffers only goes out whole while the peer reads.
    std::string szSent(3 * 1024 * 1024, '\0');
    for (size_t i = 0; i < szSent.size(); ++i)
        szSent[i] = static_cast<char>(i * 7 + i / 251);
    std::string szReceived;
    std::thread reader(
        [&]
        {
            bool bClosed = false;
            while (szReceived.size() < szSent.size() && !bClosed)
                szReceived += CLoopbackListener::ReceiveSome(hPeer, kGenerousMs, bClosed);
        });
    EXPECT_TRUE(socket.Send(szSent, kGenerousMs));
    reader.join();
    EXPECT_TRUE(szReceived == szSent);

    ASSERT_TRUE(CLoopbackListener::SendAll(hPeer, "220 ready\r\n"));
    char buffer[1024];
    std::string szReply;
    while (szReply.size() < 11)
    {
        const long n = socket.Receive(buffer, sizeof buffer, kGenerousMs);
        ASSERT_GT(n, 0);
        szReply.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(szReply, "220 ready\r\n");

    CLoopbackListener::CloseSocket(hPeer);
    EXPECT_EQ(socket.Receive(buffer, sizeof buffer, kGenerousMs), 0) << "orderly close reads as 0";
}

INSTANTIATE_TEST_SUITE_P(Loopback, SocketTest, ::testing::Values("127.0.0.1", "::1"));

TEST(SocketFailures, SilentPeerTimesOutAndClosedPortIsRefused)
{
    CLoopbackListener listener;
    ASSERT_TRUE(listener.Listen());
    platform::CSocket socket;
    ASSERT_TRUE(socket.Connect("localhost", static_cast<uint16_t>(listener.Port()), kGenerousMs))
        << "connects by host name";
    const int hPeer = listener.Accept(kGenerousMs);
    ASSERT_GE(hPeer, 0);
    char buffer[16];
    EXPECT_EQ(socket.Receive(buffer, sizeof buffer, 50), -1);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorTimeout);
    CLoopbackListener::CloseSocket(hPeer);

    // The listener's port, once closed, refuses connections.
    const uint16_t nPort = static_cast<uint16_t>(listener.Port());
    listener.Close();
    platform::CSocket refused;
    EXPECT_FALSE(refused.Connect("127.0.0.1", nPort, kGenerousMs));
    EXPECT_FALSE(refused.IsConnected());
    EXPECT_NE(platform::GetLastError(), platform::kErrorTimeout);

    EXPECT_FALSE(refused.Connect("no-such-host.invalid", 25, kGenerousMs));
    EXPECT_FALSE(refused.Send("x", kGenerousMs)) << "send without a connection fails";
}

TEST(SocketFailures, SendToClosedPeerFailsWithoutSignal)
{
    CLoopbackListener listener;
    ASSERT_TRUE(listener.Listen());
    platform::CSocket socket;
    ASSERT_TRUE(socket.Connect("127.0.0.1", static_cast<uint16_t>(listener.Port()), kGenerousMs));
    CLoopbackListener::CloseSocket(listener.Accept(kGenerousMs));
    // The first sends may still be buffered; a large one meets the reset and fails.
    const std::string szData(8 * 1024 * 1024, 'x');
    bool bFailed = false;
    for (int i = 0; i < 20 && !bFailed; ++i)
        bFailed = !socket.Send(szData, kGenerousMs);
    EXPECT_TRUE(bFailed);
}

} // namespace
