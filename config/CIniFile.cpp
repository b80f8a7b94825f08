// The settings INI file: creation, one-time conversion to UTF-16LE and guarded profile access.
#include "config/CIniFile.h"

#include "config/CGlobalObjectsBuilder.h"
#include "log/CLogger.h"
#include "log/ErrorCodes.h"
#include "platform/FileSystem.h"
#include "platform/Profile.h"
#include "platform/SysError.h"
#include "util/CFileOps.h"
#include "util/ProgramPaths.h"

#include <sstream>
#include <string>

namespace
{

// Text logged (code kCodeIniFile) when the 8-bit file cannot be read to its end.
constexpr const wchar_t* kCopyErrorText = L"Error while copying INI file";

// Holds the INI mutex for one access. Obtained() is false when the wait failed; a mutex abandoned by
// a dead process counts as obtained.
struct SIniLock
{
    explicit SIniLock(platform::HANDLE hMutex) : m_hMutex(hMutex)
    {
        uint32_t nWait = platform::WaitForSingleObject(m_hMutex, platform::kInfinite);
        m_bObtained = nWait == platform::kWaitObject0 || nWait == platform::kWaitAbandoned0;
    }
    ~SIniLock()
    {
        if (m_bObtained)
        {
            platform::ReleaseMutexObject(m_hMutex);
        }
    }
    SIniLock(const SIniLock&) = delete;
    SIniLock& operator=(const SIniLock&) = delete;

    bool Obtained() const { return m_bObtained; }

    platform::HANDLE m_hMutex;
    bool m_bObtained = false;
};

bool FileExists(const std::wstring& szPath)
{
    if (platform::GetFileAttributes(szPath) != platform::kInvalidFileAttributes)
    {
        return true;
    }
    uint32_t nError = platform::GetLastError();
    return nError != platform::kErrorFileNotFound && nError != platform::kErrorPathNotFound;
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
    return ExecutablePath() + L".ini";
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

    SIniLock lock(m_hMutex);
    if (lock.Obtained())
    {
        PrepareFile();
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
    if (!platform::ReadWholeFile(m_szPath, szBytes))
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
    SIniLock lock(m_hMutex);
    if (!lock.Obtained())
    {
        return szDefault;
    }
    return platform::GetPrivateProfileString(szSection, szKey, szDefault, m_szPath,
                                             platform::kProfileBufferSize);
}

int32_t CIniFile::ReadInt(const std::wstring& szSection, const std::wstring& szKey, int32_t nDefault)
{
    SIniLock lock(m_hMutex);
    if (!lock.Obtained())
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
    SIniLock lock(m_hMutex);
    if (!lock.Obtained())
    {
        return false;
    }
    return platform::WritePrivateProfileString(szSection, szKey, szValue, m_szPath);
}
