// Files of the data folder on Windows: opened as themselves (FILE_FLAG_OPEN_REPARSE_POINT) and checked
// on the handle (GetFileInformationByHandle: reparse point, folder, link count); the folder-naming file
// is checked against its owner and access list (GetSecurityInfo).
#include "platform/DataFile.h"

#include "platform/FileSystem_win.h"
#include "platform/SysError.h"

#include <aclapi.h>

#include <vector>

namespace platform
{

namespace
{

// Opens szPath for reading without following a link; invalid with the last error set.
CWinHandle OpenNoFollow(const std::wstring& szPath)
{
    CWinHandle hFile = OpenPath(szPath, GENERIC_READ, false, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    if (!hFile.IsValid())
        FailWin32();
    return hFile;
}

// A regular file with a single link, not a link itself.
bool IsPlainSingleFile(HANDLE hFile)
{
    BY_HANDLE_FILE_INFORMATION info{};
    return KindOfHandle(hFile) == EFileKind::Regular && ::GetFileInformationByHandle(hFile, &info) &&
           info.nNumberOfLinks == 1;
}

bool ReadAll(HANDLE hFile, std::string& szBytes)
{
    szBytes.clear();
    std::vector<char> buffer(65536);
    for (;;)
    {
        DWORD nRead = 0;
        if (!::ReadFile(hFile, buffer.data(), static_cast<DWORD>(buffer.size()), &nRead, nullptr))
        {
            szBytes.clear();
            return FailWin32();
        }
        if (nRead == 0)
            return true;
        szBytes.append(buffer.data(), nRead);
    }
}

bool Refuse()
{
    SetLastError(kErrorAccessDenied);
    return false;
}

// An owner that stands for the machine itself, as root does on Linux: LocalSystem or the
// Administrators group.
bool IsMachineOwner(PSID pSid)
{
    return ::IsWellKnownSid(pSid, WinLocalSystemSid) || ::IsWellKnownSid(pSid, WinBuiltinAdministratorsSid);
}

// The rights that change a file's content or who may change it.
constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                     FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER |
                                     GENERIC_WRITE | GENERIC_ALL;

// Whether only the owner (and the machine's own accounts) may write the file, by its access list: no
// list at all grants everyone everything.
bool OnlyOwnerWrites(PSID pOwner, PACL pDacl)
{
    if (pDacl == nullptr)
        return false;
    for (DWORD i = 0; i < pDacl->AceCount; ++i)
    {
        void* pAce = nullptr;
        if (!::GetAce(pDacl, i, &pAce))
            return false;
        const auto* pHeader = static_cast<const ACE_HEADER*>(pAce);
        if (pHeader->AceType != ACCESS_ALLOWED_ACE_TYPE || (pHeader->AceFlags & INHERIT_ONLY_ACE) != 0)
            continue;
        const auto* pAllowed = static_cast<const ACCESS_ALLOWED_ACE*>(pAce);
        if ((pAllowed->Mask & kWriteRights) == 0)
            continue;
        PSID pTrustee = const_cast<DWORD*>(&pAllowed->SidStart);
        if (!::EqualSid(pTrustee, pOwner) && !IsMachineOwner(pTrustee) &&
            !::IsWellKnownSid(pTrustee, WinCreatorOwnerSid))
            return false;
    }
    return true;
}

// The owner of a file named by path (links followed), into a buffer of the caller.
bool OwnerOfPath(const std::wstring& szPath, std::vector<BYTE>& owner)
{
    CWinHandle hFile = OpenPath(szPath, READ_CONTROL, true);
    PSID pOwner = nullptr;
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    if (!hFile.IsValid() ||
        ::GetSecurityInfo(hFile.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &pOwner, nullptr, nullptr,
                          nullptr, &pDescriptor) != ERROR_SUCCESS)
        return false;
    const bool bValid = pOwner != nullptr && ::IsValidSid(pOwner);
    if (bValid)
        owner.assign(static_cast<BYTE*>(pOwner), static_cast<BYTE*>(pOwner) + ::GetLengthSid(pOwner));
    ::LocalFree(pDescriptor);
    return bValid;
}

} // namespace

bool ReadDataFile(const std::wstring& szPath, std::string& szBytes)
{
    szBytes.clear();
    CWinHandle hFile = OpenNoFollow(szPath);
    if (!hFile.IsValid())
        return false;
    if (!IsPlainSingleFile(hFile.Get()))
        return Refuse();
    return ReadAll(hFile.Get(), szBytes);
}

bool IsAcceptableDataFile(const std::wstring& szPath)
{
    CWinHandle hFile = OpenPath(szPath, FILE_READ_ATTRIBUTES, false);
    if (!hFile.IsValid())
    {
        const DWORD nError = ::GetLastError();
        if (nError == ERROR_FILE_NOT_FOUND || nError == ERROR_PATH_NOT_FOUND)
            return true;
        return FailWin32();
    }
    return IsPlainSingleFile(hFile.Get()) ? true : Refuse();
}

bool ReadTrustedFile(const std::wstring& szPath, const std::wstring& szOwnerReference, std::string& szBytes)
{
    szBytes.clear();
    CWinHandle hFile =
        OpenPath(szPath, GENERIC_READ | READ_CONTROL, false, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    if (!hFile.IsValid())
        return FailWin32();
    if (KindOfHandle(hFile.Get()) != EFileKind::Regular)
        return Refuse();
    PSID pOwner = nullptr;
    PACL pDacl = nullptr;
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    if (::GetSecurityInfo(hFile.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                          &pOwner, nullptr, &pDacl, nullptr, &pDescriptor) != ERROR_SUCCESS)
        return Refuse();
    std::vector<BYTE> reference;
    const bool bOwnerTrusted =
        pOwner != nullptr &&
        (IsMachineOwner(pOwner) || (OwnerOfPath(szOwnerReference, reference) &&
                                    ::EqualSid(pOwner, reinterpret_cast<PSID>(reference.data()))));
    const bool bTrusted = bOwnerTrusted && OnlyOwnerWrites(pOwner, pDacl);
    ::LocalFree(pDescriptor);
    if (!bTrusted)
        return Refuse();
    return ReadAll(hFile.Get(), szBytes);
}

} // namespace platform
