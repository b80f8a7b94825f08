// The settings INI file: creation, one-time conversion to UTF-16LE and guarded profile access.
#include "config/CIniFile.h"

#include "config/CGlobalObjectsBuilder.h"
#include "log/CLogger.h"
#include "log/ErrorCodes.h"
#include "platform/DataFile.h"
#include "platform/FileSystem.h"
#include "platform/Profile.h"
#include "platform/SysError.h"
#include "platform/ThreadMessages.h"
#include "util/CFileOps.h"
#include "util/ProgramPaths.h"

#include <algorithm>
#include <sstream>
#include <string>

namespace
{

// Text logged (code kCodeIniFile) when the 8-bit file cannot be read to its end.
constexpr const wchar_t* kCopyErrorText = L"Error while copying INI file";

// The time slice of a wait for the INI mutex, between which a quit request is looked for.
constexpr uint32_t kLockSliceMs = 100;

bool FileExists(const std::wstring& szPath)
{
    if (platform::GetFileAttributes(szPath) != platform::kInvalidFileAttributes)
    {
        return true;
    }
    uint32_t nError = platform::GetLastError();
    return nError != platform::kErrorFileNotFound && nError != platform::kErrorPathNotFound;
}

// True when the settings file may be used; otherwise logs why not (a link or a hard link planted
// under its name, or no regular file) and returns false.
bool IsUsableFile(const std::wstring& szPath)
{
    if (platform::IsAcceptableDataFile(szPath))
    {
        return true;
    }
    CLogger().Log(kCodeIniFile, L"The settings file '" + szPath +
                                    L"' is not used: it is a link, a file with more than one link, or not a "
                                    L"regular file. Remove it; the settings keep their current values.");
    return false;
}

const unsigned char kUnicodeMark[2] = {0xFF, 0xFE};

} // namespace

CIniFile::CIniFile() : m_szPath(DefaultPath())
{
    Initialise();
}

CIniFile::CIniFile(const std::wstring& szPath) : m_szPath(szPath)
{
    Initialise();
}

CIniFile::~CIniFile()
{
    if (m_hMutex != platform::kInvalidHandle)
    {
        platform::CloseHandleObject(m_hMutex);
    }
}

std::wstring CIniFile::DefaultPath()
{
    return DataDirectory() + ExecutableFileName() + L".ini";
}

std::wstring CIniFile::MutexNameOf(const std::wstring& szPath)
{
    return CGlobalObjectsBuilder().FullName(CFileOps::FileNameOf(szPath));
}

void CIniFile::Initialise()
{
    CGlobalObjectsBuilder builder;
    m_hMutex = builder.CreateMutex(CFileOps::FileNameOf(m_szPath));
    uint32_t nError = builder.LastError();
    m_bMutexExisted = nError == platform::kErrorAlreadyExists;
    if (nError != 0 && !m_bMutexExisted)
    {
        CLogger().LogSystemError(nError);
    }

    CAccess access(*this);
    if (access.Allowed())
    {
        PrepareFile();
    }
}

uint32_t CIniFile::s_nLockBoundMs = CIniFile::kLockBoundMs;

void CIniFile::SetLockBound(uint32_t nBoundMs)
{
    s_nLockBoundMs = nBoundMs;
}

CIniFile::CAccess::CAccess(CIniFile& file) : m_file(file)
{
    if (file.m_hMutex == platform::kInvalidHandle)
    {
        return;
    }
    // After a wait ran out, later accesses only try briefly until the mutex is had again, so that a
    // held mutex costs one bound, not one per setting.
    // A quit request ends the program soon: no access waits any more, only tries.
    const uint32_t nBound = platform::QuitRequested() ? 0
                            : file.m_bLockTimedOut    ? kLockSliceMs
                                                      : s_nLockBoundMs;
    uint32_t nWaited = 0;
    for (;;)
    {
        const uint32_t nSlice = std::min(kLockSliceMs, nBound - nWaited);
        const uint32_t nWait = platform::WaitForSingleObject(file.m_hMutex, nSlice);
        if (nWait == platform::kWaitObject0 || nWait == platform::kWaitAbandoned0)
        {
            m_bOwned = true;
            m_bAllowed = true;
            file.m_bLockTimedOut = false;
            return;
        }
        if (nWait != platform::kWaitTimeout)
        {
            return; // the mutex is unusable: the file is not touched unguarded
        }
        nWaited += nSlice;
        if (nWaited >= nBound || platform::QuitRequested())
        {
            break;
        }
    }
    // Held by another process for too long (or the program is asked to end): go on without it. The
    // file is only ever replaced whole, so a read sees a consistent file whatever the holder does.
    m_bAllowed = true;
    if (!file.m_bLockTimedOut)
    {
        file.m_bLockTimedOut = true;
        CLogger().Log(kCodeIniFile, L"The settings file's lock " + MutexNameOf(file.m_szPath) +
                                        L" was not obtained within " + std::to_wstring(nWaited) +
                                        L" ms; the settings file is used without it.");
    }
}

CIniFile::CAccess::~CAccess()
{
    if (m_bOwned)
    {
        platform::ReleaseMutexObject(m_file.m_hMutex);
    }
}

void CIniFile::PrepareFile()
{
    CLogger logger;
    const std::string szMark(reinterpret_cast<const char*>(kUnicodeMark), sizeof(kUnicodeMark));

    if (!FileExists(m_szPath))
    {
        if (!platform::ReplaceFileContent(m_szPath, szMark))
        {
            logger.LogLastError();
        }
        return;
    }

    std::string szBytes;
    if (!IsUsableFile(m_szPath))
    {
        return;
    }
    if (!platform::ReadDataFile(m_szPath, szBytes))
    {
        logger.LogLastError();
        return;
    }
    if (szBytes.compare(0, szMark.size(), szMark) == 0)
    {
        return;
    }
    std::istringstream inStream(szBytes);
    szBytes.clear();
    ConvertStream(inStream, m_szPath);
}

bool CIniFile::ConvertStream(std::istream& inStream, const std::wstring& szIniPath)
{
    CLogger logger;
    // A copy left by an earlier version that stopped half-way is of no use.
    const std::wstring szTmpPath = szIniPath + L".tmp";
    if (FileExists(szTmpPath) && !platform::DeleteFile(szTmpPath))
    {
        logger.LogLastError();
    }

    std::string szBytes(reinterpret_cast<const char*>(kUnicodeMark), sizeof(kUnicodeMark));
    std::string szLine;
    for (;;)
    {
        std::getline(inStream, szLine);
        if (inStream.bad() || (inStream.fail() && !inStream.eof()))
        {
            logger.Log(kCodeIniFile, kCopyErrorText);
            return false;
        }
        const bool bLastLine = inStream.eof();
        if (!bLastLine && !szLine.empty() && szLine.back() == '\r')
        {
            szLine.pop_back();
        }
        for (char chByte : szLine)
        {
            szBytes.push_back(chByte);
            szBytes.push_back('\0');
        }
        szBytes.append("\r\0\n\0", 4);
        if (bLastLine)
        {
            break;
        }
    }

    // Only a complete copy replaces the INI file, flushed and renamed over it in one step.
    if (!platform::ReplaceFileContent(szIniPath, szBytes))
    {
        logger.LogLastError();
        return false;
    }
    return true;
}

std::wstring CIniFile::ReadString(const std::wstring& szSection, const std::wstring& szKey,
                                  const std::wstring& szDefault)
{
    CAccess access(*this);
    if (!access.Allowed() || !IsUsableFile(m_szPath))
    {
        return szDefault;
    }
    return platform::GetPrivateProfileString(szSection, szKey, szDefault, m_szPath,
                                             platform::kProfileBufferSize);
}

int32_t CIniFile::ReadInt(const std::wstring& szSection, const std::wstring& szKey, int32_t nDefault)
{
    CAccess access(*this);
    if (!access.Allowed() || !IsUsableFile(m_szPath))
    {
        return nDefault;
    }
    return platform::GetPrivateProfileInt(szSection, szKey, nDefault, m_szPath);
}

bool CIniFile::WriteInt(const std::wstring& szSection, const std::wstring& szKey, int32_t nValue)
{
    return WriteString(szSection, szKey, std::to_wstring(nValue));
}

bool CIniFile::WriteString(const std::wstring& szSection, const std::wstring& szKey,
                           const std::wstring& szValue)
{
    CAccess access(*this);
    if (!access.Allowed() || !IsUsableFile(m_szPath))
    {
        return false;
    }
    return platform::WritePrivateProfileString(szSection, szKey, szValue, m_szPath);
}
