// Bounded reads on Windows: a folder is refused with what it is, and a pipe name is refused without
// connecting to the pipe.
#include "platform/FileSystem.h"
#include "platform/SysError.h"
#include "platform/Windows_win.h"
#include "tests/support/CTempDir.h"

#include <gtest/gtest.h>

#include <string>

using namespace platform;

TEST(FileReadWinTest, AFolderAndAPipeAreRefusedWithWhatTheyAre)
{
    CTempDir dir("reads");
    SFileContent content;
    EXPECT_FALSE(ReadFilePrefix(dir.Wide(), 100, 0, content));
    EXPECT_EQ(content.eKind, EFileKind::Directory);
    EXPECT_EQ(platform::GetLastError(), kErrorAccessDenied);
    EXPECT_EQ(GetFileKind(dir.Wide(), false), EFileKind::Directory);

    // A pipe of one instance: a read that connected would take it from the real client.
    const std::wstring szPipe = L"\\\\.\\pipe\\tarvik-reads-" + std::to_wstring(::GetCurrentProcessId());
    const HANDLE hServer = ::CreateNamedPipeW(szPipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                              1, 4096, 4096, 0, nullptr);
    ASSERT_NE(hServer, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(ReadFilePrefix(szPipe, 100, 0, content));
    EXPECT_NE(content.eKind, EFileKind::Regular);
    EXPECT_EQ(platform::GetLastError(), kErrorUnsupportedType);
    EXPECT_NE(GetFileKind(szPipe, true), EFileKind::Regular);
    const HANDLE hClient =
        ::CreateFileW(szPipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(hClient, INVALID_HANDLE_VALUE) << "the pipe's one instance was taken";
    if (hClient != INVALID_HANDLE_VALUE)
        ::CloseHandle(hClient);
    ::CloseHandle(hServer);
}
