// The socket on Windows: failures carry the Windows Sockets numbers, and the host name needs no
// socket made before it (Winsock is started by the first call that needs it).
#include "platform/Socket.h"
#include "platform/SysError.h"
#include "tests/support/CLoopbackListener.h"

#include <gtest/gtest.h>

namespace
{

TEST(SocketWinTest, FailuresCarryWindowsSocketsNumbers)
{
    EXPECT_FALSE(platform::LocalHostName().empty());

    CLoopbackListener listener;
    ASSERT_TRUE(listener.Listen());
    const uint16_t nPort = static_cast<uint16_t>(listener.Port());
    listener.Close();
    platform::CSocket socket;
    EXPECT_FALSE(socket.Connect("127.0.0.1", nPort, 20000));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(platform::kWsaEconnrefused));

    EXPECT_FALSE(socket.Connect("no-such-host.invalid", 25, 20000));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(platform::kWsaHostNotFound));

    char buffer[4];
    EXPECT_EQ(socket.Receive(buffer, sizeof buffer, 10), -1);
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(platform::kErrorInvalidHandle));
}

} // namespace
