// The settings INI file: creation, one-time conversion to UTF-16LE and guarded profile access.
#include "config/CIniFile.h"

#include "config/CGlobalObjectsBuilder.h"
#include "log/CLogger.h"
#include "platform/FileSystem.h"
#include "platform/Profile.h"
#include "platform/SysError.h"
#include "util/CFileOps.h"
#include "util/ProgramPaths.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace
{

// Code and text logged when the 8-bit file cannot be read to its end.
constexpr int kCopyErrorCode = 1014;
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

// Logs errno as the last system error.
void LogErrno(CLogger& logger)
{
    platform::SetLastErrorFromErrno();
    logger.LogLastError();
}

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
    std::string szNative = platform::NativePath(m_szPath);

    if (!FileExists(m_szPath))
    {
        // "x": a new file only, never one that appeared meanwhile.
        std::FILE* pFile = std::fopen(szNative.c_str(), "wbx");
        if (pFile == nullptr)
        {
            LogErrno(logger);
            return;
        }
        if (std::fwrite(kUnicodeMark, 1, sizeof(kUnicodeMark), pFile) != sizeof(kUnicodeMark))
        {
            LogErrno(logger);
        }
        if (std::fclose(pFile) != 0)
        {
            LogErrno(logger);
        }
        return;
    }

    unsigned char mark[2] = {0, 0};
    std::FILE* pFile = std::fopen(szNative.c_str(), "rb");
    if (pFile == nullptr)
    {
        LogErrno(logger);
    }
    else
    {
        if (std::fread(mark, 1, sizeof(mark), pFile) != sizeof(mark) && std::ferror(pFile))
        {
            LogErrno(logger);
        }
        if (std::fclose(pFile) != 0)
        {
            LogErrno(logger);
        }
    }
    if (mark[0] == kUnicodeMark[0] && mark[1] == kUnicodeMark[1])
    {
        return;
    }

    std::ifstream inStream(szNative, std::ios::in | std::ios::binary);
    if (!inStream.is_open())
    {
        LogErrno(logger);
        return;
    }
    ConvertStream(inStream, m_szPath);
}

bool CIniFile::ConvertStream(std::istream& inStream, const std::wstring& szIniPath)
{
    CLogger logger;
    const std::wstring szTmpPath = szIniPath + L".tmp";
    const std::string szTmpNative = platform::NativePath(szTmpPath);

    if (FileExists(szTmpPath) && !platform::DeleteFile(szTmpPath))
    {
        logger.LogLastError();
    }
    std::FILE* pTarget = std::fopen(szTmpNative.c_str(), "wbx");
    if (pTarget == nullptr)
    {
        LogErrno(logger);
        return false;
    }

    // Only a complete copy may replace the INI file: any failure drops the copy instead.
    auto discardCopy = [&](std::FILE* pOpen)
    {
        if (pOpen != nullptr)
        {
            std::fclose(pOpen);
        }
        if (!platform::DeleteFile(szTmpPath))
        {
            logger.LogLastError();
        }
        return false;
    };

    std::string szBytes(reinterpret_cast<const char*>(kUnicodeMark), sizeof(kUnicodeMark));
    std::string szLine;
    for (;;)
    {
        std::getline(inStream, szLine);
        if (inStream.bad() || (inStream.fail() && !inStream.eof()))
        {
            logger.Log(kCopyErrorCode, kCopyErrorText);
            return discardCopy(pTarget);
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
        if (std::fwrite(szBytes.data(), 1, szBytes.size(), pTarget) != szBytes.size())
        {
            LogErrno(logger);
            return discardCopy(pTarget);
        }
        szBytes.clear();
        if (bLastLine)
        {
            break;
        }
    }

    if (std::fclose(pTarget) != 0)
    {
        LogErrno(logger);
        return discardCopy(nullptr);
    }
    // One rename replaces the old file, so that at every moment one complete INI file is in place.
    if (!platform::MoveFile(szTmpPath, szIniPath, platform::kMoveReplaceExisting))
    {
        logger.LogLastError();
        return discardCopy(nullptr);
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
