// Machine-wide named objects. The platform layer makes every named object open to all users, which
// is what the null access list of the Windows security descriptor grants.
#include "config/CGlobalObjectsBuilder.h"

#include "platform/SysError.h"

CGlobalObjectsBuilder::CGlobalObjectsBuilder(const std::wstring& szPrefix) : m_szPrefix(szPrefix) {}

CGlobalObjectsBuilder::~CGlobalObjectsBuilder() = default;

std::wstring CGlobalObjectsBuilder::FullName(const std::wstring& szName) const
{
    std::wstring szFull = m_szPrefix + szName;
    if (szFull.size() > kMaxNameLength)
    {
        szFull.resize(kMaxNameLength);
    }
    return szFull;
}

platform::HANDLE CGlobalObjectsBuilder::CreateMutex(const std::wstring& szName)
{
    platform::HANDLE hMutex = platform::CreateNamedMutexObject(FullName(szName), false);
    m_nLastError = platform::GetLastError();
    return hMutex;
}

platform::HANDLE CGlobalObjectsBuilder::CreateEvent(const std::wstring& szName)
{
    platform::HANDLE hEvent = platform::CreateNamedEventObject(FullName(szName), true, false);
    m_nLastError = platform::GetLastError();
    return hEvent;
}
