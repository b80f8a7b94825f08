// File and path operations: deletes, moves, copies, directories, path queries, copy names and
// file-name checks.
#include "util/CFileOps.h"

#include "platform/AppendFile.h"
#include "platform/FileLinks.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/OpenDirectory.h"
#include "platform/SysError.h"

#include <cwctype>

using platform::kPathSeparator;

namespace
{

// Throws the calling thread's last error. A failure that left no error number is reported as a
// general failure, so that it is never mistaken for a cancelled prompt (code 0).
[[noreturn]] void ThrowLastError()
{
    uint32_t nError = platform::GetLastError();
    throw new CFExeption(nError != 0 ? nError : static_cast<uint32_t>(platform::kErrorGenFailure));
}

bool EqualsIgnoreCase(const std::wstring& szLeft, const wchar_t* szRight)
{
    size_t nIndex = 0;
    for (; nIndex < szLeft.size() && szRight[nIndex] != L'\0'; ++nIndex)
    {
        if (std::towupper(szLeft[nIndex]) != std::towupper(szRight[nIndex]))
            return false;
    }
    return nIndex == szLeft.size() && szRight[nIndex] == L'\0';
}

std::wstring WithoutTrailingSeparators(const std::wstring& szPath)
{
    std::wstring szTrimmed = szPath;
    while (szTrimmed.size() > 1 && szTrimmed.back() == kPathSeparator)
        szTrimmed.pop_back();
    return szTrimmed;
}

// Copy names are tried at most this often before the copy gives up with "file exists".
constexpr int kMaxCopyNames = 100000;

} // namespace

bool CFileOps::Delete(const std::wstring& szPath)
{
    if (szPath.empty())
        throw new CFExeption(std::wstring(L"Unable delete. Empty path passed!"));

    if (platform::IsSymbolicLink(szPath))
    {
        if (!platform::DeleteSymbolicLink(szPath))
            ThrowLastError();
        return true;
    }

    int nType = GetPathType(szPath);
    if (nType == 0)
        return true;
    if (nType < 0)
        ThrowLastError();

    if (nType == 1)
    {
        if (!ConfirmReadOnlyDelete(szPath))
        {
            m_bKept = true;
            return true;
        }
        if (!platform::DeleteFile(szPath))
            ThrowLastError();
        return true;
    }

    std::wstring szDirectory = AddTrailingBackslash(szPath);
    {
        platform::CFindFile finder;
        platform::SFindData data;
        bool bFound = finder.First(szDirectory + L"*.*", data);
        while (bFound)
        {
            if (data.szName != L"." && data.szName != L"..")
                Delete(szDirectory + data.szName);
            bFound = finder.Next(data);
        }
    }
    if (!platform::RemoveDirectory(WithoutTrailingSeparators(szDirectory)) && !m_bKept)
        ThrowLastError();
    return true;
}

bool CFileOps::DeleteEntry(const platform::COpenDirectory& folder, const std::wstring& szName,
                           const platform::SEntryInfo& info)
{
    if (info.bReadOnly)
    {
        bool bDelete = !m_bAskReadOnly;
        if (m_bAskReadOnly)
        {
            const int nAnswer =
                platform::ShowMessageBox(szName + L" is read olny. Do you want delete it?", L"Warning",
                                         platform::kMbYesNoCancel | platform::kMbIconQuestion);
            if (nAnswer == platform::kIdCancel)
            {
                m_bKept = true;
                throw new CFExeption(0u);
            }
            bDelete = nAnswer == platform::kIdYes;
        }
        if (!bDelete)
        {
            m_bKept = true;
            return true;
        }
    }
    if (!folder.DeleteEntry(szName))
        ThrowLastError();
    return true;
}

bool CFileOps::ConfirmReadOnlyDelete(const std::wstring& szFile)
{
    uint32_t nAttributes = platform::GetFileAttributes(szFile);
    if (nAttributes == platform::kInvalidFileAttributes)
        return false;
    if ((nAttributes & platform::kAttributeReadOnly) == 0)
        return true;
    if (!m_bAskReadOnly)
        return platform::SetFileAttributes(szFile, platform::kAttributeNormal);

    int nAnswer = platform::ShowMessageBox(FileNameOf(szFile) + L" is read olny. Do you want delete it?",
                                           L"Warning", platform::kMbYesNoCancel | platform::kMbIconQuestion);
    if (nAnswer == platform::kIdYes)
        return platform::SetFileAttributes(szFile, platform::kAttributeNormal);
    if (nAnswer == platform::kIdCancel)
    {
        m_bKept = true;
        throw new CFExeption(0u);
    }
    return false;
}

bool CFileOps::Move(const std::wstring& szSource, const std::wstring& szTarget)
{
    if (!platform::MoveFile(szSource, szTarget, platform::kMoveCopyAllowed))
        ThrowLastError();
    return true;
}

bool CFileOps::MoveToDirectory(const std::wstring& szSource, const std::wstring& szTarget, bool bOverwrite)
{
    std::wstring szFolder = SplitPath(szTarget).m_szFolder;
    if (!szFolder.empty())
        CreateDirectory(AddTrailingBackslash(szFolder));
    uint32_t nFlags = platform::kMoveCopyAllowed | (bOverwrite ? platform::kMoveReplaceExisting : 0u);
    if (!platform::MoveFile(szSource, szTarget, nFlags))
        ThrowLastError();
    return true;
}

bool CFileOps::Copy(const std::wstring& szSource, const std::wstring& szTarget, bool bDeleteSource)
{
    std::wstring szFinalTarget = szTarget;
    if (!m_bOverwrite)
    {
        int nTries = 0;
        while (GetPathType(szFinalTarget) == 1)
        {
            if (++nTries > kMaxCopyNames)
                throw new CFExeption(static_cast<uint32_t>(platform::kErrorFileExists));
            szFinalTarget = NextCopyName(szFinalTarget);
        }
    }
    if (!platform::CopyFile(szSource, szFinalTarget, !m_bOverwrite))
        ThrowLastError();
    if (bDeleteSource)
        Delete(szSource);
    return true;
}

bool CFileOps::CopyTo(const std::wstring& szSource, const std::wstring& szTarget, bool bOverwrite)
{
    // A file copied onto itself is already where it should be; copying it would only make a
    // "Copy of" twin or, with overwrite, truncate the file being read. Names are compared exactly:
    // the file system tells letter cases apart.
    if (WithoutTrailingSeparators(szSource) == WithoutTrailingSeparators(szTarget))
        return true;
    try
    {
        std::wstring szFolder = SplitPath(szTarget).m_szFolder;
        if (!szFolder.empty())
            CreateDirectory(AddTrailingBackslash(szFolder));
        m_bOverwrite = bOverwrite;
        Copy(szSource, szTarget, false);
        return true;
    }
    catch (CFExeption* pException)
    {
        m_szErrorText = pException->GetMessage();
        m_nErrorCode = pException->GetCode();
        delete pException;
        return m_nErrorCode == 0;
    }
}

int CFileOps::CreateDirectory(const std::wstring& szPath)
{
    if (szPath.empty())
        throw new CFExeption(static_cast<uint32_t>(platform::kErrorPathNotFound));
    if (GetPathType(szPath) == 2)
        return 2;
    if (!platform::CreateDirectoryTree(WithoutTrailingSeparators(szPath)))
    {
        // Made meanwhile by someone else: the directory is there, which is all that was asked.
        if (platform::GetLastError() == platform::kErrorAlreadyExists && GetPathType(szPath) == 2)
            return 2;
        ThrowLastError();
    }
    return 0;
}

bool CFileOps::EnsureDirectory(const std::wstring& szPath, bool bHide)
{
    if (GetPathType(szPath) == 2)
        return true;
    std::wstring szFolder = SplitPath(szPath).m_szFolder;
    CreateDirectory(szFolder);
    if (!bHide)
        return true;
    uint32_t nAttributes = platform::GetFileAttributes(szFolder);
    if (nAttributes == platform::kInvalidFileAttributes)
        return false;
    nAttributes &= platform::kAttributeReadOnly | platform::kAttributeHidden | platform::kAttributeSystem;
    return platform::SetFileAttributes(szFolder,
                                       nAttributes | platform::kAttributeHidden | platform::kAttributeSystem);
}

int CFileOps::GetPathType(const std::wstring& szPath)
{
    uint32_t nAttributes = platform::GetFileAttributes(szPath);
    if (nAttributes == platform::kInvalidFileAttributes)
    {
        uint32_t nError = platform::GetLastError();
        return nError == platform::kErrorFileNotFound || nError == platform::kErrorPathNotFound ? 0 : -1;
    }
    return (nAttributes & platform::kAttributeDirectory) != 0 ? 2 : 1;
}

bool CFileOps::IsNotDirectory(const std::wstring& szPath)
{
    return GetPathType(szPath) == 1;
}

std::wstring CFileOps::FileNameOf(const std::wstring& szPath)
{
    size_t nSeparator = szPath.rfind(kPathSeparator);
    return nSeparator == std::wstring::npos ? szPath : szPath.substr(nSeparator + 1);
}

std::wstring CFileOps::ExtensionOf(const std::wstring& szPath)
{
    // Only a dot of the file name counts: "dir.d/file" has no extension.
    std::wstring szName = FileNameOf(szPath);
    size_t nDot = szName.rfind(L'.');
    return nDot == std::wstring::npos ? std::wstring() : szName.substr(nDot + 1);
}

SPathParts CFileOps::SplitPath(const std::wstring& szPath)
{
    SPathParts parts;
    size_t nSeparator = szPath.rfind(kPathSeparator);
    size_t nNameStart = nSeparator == std::wstring::npos ? 0 : nSeparator + 1;
    parts.m_szFolder = szPath.substr(0, nNameStart);
    std::wstring szFileName = szPath.substr(nNameStart);
    size_t nDot = szFileName.rfind(L'.');
    if (nDot == std::wstring::npos)
        parts.m_szName = szFileName;
    else
    {
        parts.m_szName = szFileName.substr(0, nDot);
        parts.m_szExtension = szFileName.substr(nDot);
    }
    return parts;
}

std::wstring CFileOps::AddTrailingBackslash(const std::wstring& szPath)
{
    if (szPath.empty() || szPath.back() == kPathSeparator)
        return szPath;
    return szPath + kPathSeparator;
}

uint32_t CFileOps::FileSize(const std::wstring& szPath)
{
    platform::CFindFile finder;
    platform::SFindData data;
    if (!finder.First(szPath, data))
        return 0;
    return static_cast<uint32_t>(data.nSize & 0xFFFFFFFFu);
}

bool CFileOps::TouchFile(const std::wstring& szPath)
{
    // Opened for appending: a missing file is created empty, an existing one keeps its content.
    platform::CAppendFile file;
    return file.Open(szPath);
}

std::wstring CFileOps::NextCopyName(const std::wstring& szPath)
{
    SPathParts parts = SplitPath(szPath);
    const std::wstring& szName = parts.m_szName;
    std::wstring szNewName;
    size_t nOpen = szName.find(L'(');
    size_t nClose = nOpen == std::wstring::npos ? std::wstring::npos : szName.find(L')', nOpen);
    if (szName.find(L"Copy ") == std::wstring::npos)
        szNewName = L"Copy of " + szName;
    else if (nOpen == std::wstring::npos)
        szNewName = L"Copy (1) of " + szName.substr(std::min<size_t>(8, szName.size()));
    else if (nClose != std::wstring::npos)
    {
        long long nNumber = 0;
        for (size_t i = nOpen + 1; i < nClose; ++i)
        {
            if (szName[i] < L'0' || szName[i] > L'9' || nNumber > 1000000000LL)
            {
                nNumber = 0;
                break;
            }
            nNumber = nNumber * 10 + (szName[i] - L'0');
        }
        szNewName = L"Copy (" + std::to_wstring(nNumber + 1) + L") of " +
                    szName.substr(std::min<size_t>(nClose + 1 + 4, szName.size()));
    }
    else
        // "Copy " and "(" without a closing ")": start a fresh chain in front of the whole name.
        szNewName = L"Copy of " + szName;
    return parts.m_szFolder + szNewName + parts.m_szExtension;
}

int CFileOps::ValidateFileName(const std::wstring& szName)
{
    if (szName.empty())
        return kFileNameEmptyOrTooLong;
    static const std::wstring kIllegal = L"\\|\"*/:<>?";
    size_t nLength = 0;
    for (; nLength < szName.size() && nLength < 256; ++nLength)
    {
        wchar_t c = szName[nLength];
        if (c == L'\0')
            break;
        if ((c >= 1 && c <= 31) || kIllegal.find(c) != std::wstring::npos)
            return static_cast<int>(c);
    }
    if (nLength >= 256)
        return kFileNameEmptyOrTooLong;
    std::wstring szScanned = szName.substr(0, nLength);
    if (szScanned.empty())
        return kFileNameEmptyOrTooLong;
    if (szScanned.find_first_not_of(L'.') == std::wstring::npos)
        return L'.';
    if (szScanned[0] == L'.')
        return kFileNameValid;

    std::wstring szBase = szScanned.substr(0, szScanned.find(L'.'));
    static const wchar_t* const kThreeLetter[] = {L"AUX", L"CON", L"NUL", L"PRN"};
    if (szBase.size() == 3)
    {
        for (int i = 0; i < 4; ++i)
        {
            if (EqualsIgnoreCase(szBase, kThreeLetter[i]))
                return -3 - i;
        }
    }
    if (szBase.size() == 4 && szBase[3] >= L'1' && szBase[3] <= L'9')
    {
        int nDigit = szBase[3] - L'0';
        std::wstring szPrefix = szBase.substr(0, 3);
        if (EqualsIgnoreCase(szPrefix, L"COM"))
            return -6 - nDigit;
        if (EqualsIgnoreCase(szPrefix, L"LPT"))
            return -15 - nDigit;
    }
    if (szBase.size() == 6 && EqualsIgnoreCase(szBase, L"CLOCK$"))
        return -2;
    return kFileNameValid;
}

std::wstring CFileOps::FileNameErrorText(int nResult, std::wstring& szName)
{
    static const wchar_t* const kDevices[] = {L"CLOCK$", L"AUX",  L"CON",  L"NUL",  L"PRN",  L"COM1",
                                              L"COM2",   L"COM3", L"COM4", L"COM5", L"COM6", L"COM7",
                                              L"COM8",   L"COM9", L"LPT1", L"LPT2", L"LPT3", L"LPT4",
                                              L"LPT5",   L"LPT6", L"LPT7", L"LPT8", L"LPT9"};
    szName.clear();
    if (nResult > 0)
        return L"The illegal character that was used. If the value is a dot ('.', 46) the file name was "
               L"nothing but dots.";
    if (nResult == kFileNameEmptyOrTooLong)
        return L"A NULL or zero length file name was passed, or the file name exceeded 255 characters.";
    if (nResult <= kFileNameDeviceFirst && nResult >= kFileNameDeviceLast)
    {
        szName = kDevices[kFileNameDeviceFirst - nResult];
        return L"A device name was used.";
    }
    szName = L"Error";
    return std::wstring();
}
