// The run-time library loader's failures. Portable: every backend passes these.
#include "platform/Library.h"
#include "platform/SysError.h"

#include <gtest/gtest.h>

namespace
{

// Loading and resolving a real library is shown by each backend's suite on a library of its own
// system (the Linux build's PDF library; a system library on Windows).
TEST(Library, MissingLibraryAndNullHandlesFail)
{
    EXPECT_EQ(nullptr, platform::LoadLibrary(L"TarvikNoSuchLibrary.dll"));
    EXPECT_EQ(platform::kErrorModNotFound, platform::GetLastError());
    EXPECT_NE(std::wstring::npos, platform::LastLibraryErrorText().find(L"TarvikNoSuchLibrary"));
    EXPECT_FALSE(platform::FreeLibrary(nullptr));
    EXPECT_EQ(nullptr, platform::GetProcAddress(nullptr, "x"));
}

} // namespace
