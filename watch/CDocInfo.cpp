// The validation record of one file under watch.
#include "watch/CDocInfo.h"

#include <cstdio>

#include "util/CFileOps.h"
#include "watch/IFileValidatior.h"

namespace
{

const wchar_t kContinue[] = L"Continue validating...";

} // namespace

CDocInfo::CDocInfo(const std::wstring& szPath, const platform::SFindData& entry, IFileValidatior* pValidator)
    : m_ftLastWrite(entry.ftLastWrite), m_ftCreation(entry.ftCreation), m_szPath(szPath), m_nSize(entry.nSize)
{
    m_nStarted = m_nLastCheck = platform::GetTickCount();
    m_bValid = pValidator ? pValidator->Validate(m_szPath.c_str(), m_nPages, m_szMessage) : true;
    m_bChecked = true;
}

CDocInfo::~CDocInfo() = default;

std::wstring CDocInfo::ElapsedText(int32_t nElapsed)
{
    wchar_t szText[64];
    std::swprintf(szText, sizeof(szText) / sizeof(szText[0]), L"(%02d.%03dsec). ", nElapsed / 1000,
                  nElapsed % 1000);
    return szText;
}

bool CDocInfo::Check(IFileValidatior* pValidator, uint32_t nTimeout, int32_t nInterval)
{
    const uint32_t nNow = platform::GetTickCount();
    // Differences of the wrapping tick counter, read as signed 32-bit values.
    const int32_t nRemaining = static_cast<int32_t>(nTimeout + m_nStarted - nNow);
    const int32_t nElapsed = static_cast<int32_t>(nNow - m_nStarted);
    const int32_t nSinceLast = static_cast<int32_t>(nNow - m_nLastCheck);
    m_bChecked = nSinceLast >= nInterval;
    if (!m_bChecked)
        return false;
    const std::wstring szElapsed = ElapsedText(nElapsed);

    m_nLastCheck = nNow;
    const uint32_t nCurrent = CFileOps::FileSize(m_szPath);
    const bool bChanged = nCurrent != static_cast<uint32_t>(m_nSize & 0xFFFFFFFFu) || (m_nSize >> 32) != 0;
    if (nRemaining < 0)
    {
        TimeOut(nTimeout, bChanged);
        return true;
    }
    if (!SizeIsSteady(nCurrent, bChanged, szElapsed) || !HasUsableCreationTime(szElapsed))
        return false;
    return RunValidator(pValidator, szElapsed);
}

void CDocInfo::TimeOut(uint32_t nTimeout, bool bSizeChanged)
{
    m_bValid = false;
    // A record that has already failed keeps its message: looking at it again after the timeout
    // must not append the timeout sentence once more.
    if (m_nStatus == kStatusFailed)
        return;
    m_nStatus = kStatusFailed;
    if (!m_szMessage.empty())
    {
        const size_t nAt = m_szMessage.find(kContinue);
        if (nAt != std::wstring::npos)
            m_szMessage.erase(nAt, sizeof(kContinue) / sizeof(kContinue[0]) - 1);
    }
    m_szMessage += L"Validation was not succeeded in " + std::to_wstring(nTimeout / 1000) + L" seconds.";
    if (bSizeChanged)
        m_szMessage += L" Please, increase validation timeout.";
}

bool CDocInfo::SizeIsSteady(uint32_t nCurrent, bool bChanged, const std::wstring& szElapsed)
{
    if (m_nSize == 0)
        m_szMessage = L"Zero size file " + szElapsed + kContinue;
    else if (bChanged)
        m_szMessage = L"The file is growing " + szElapsed + kContinue;
    else
        return true;
    m_nSize = nCurrent;
    return false;
}

bool CDocInfo::HasUsableCreationTime(const std::wstring& szElapsed)
{
    platform::SFileTime ftLocal;
    platform::SSystemTime stCreation;
    if (platform::FileTimeToLocalFileTime(m_ftCreation, ftLocal) &&
        platform::FileTimeToSystemTime(ftLocal, stCreation))
        return true;
    m_szMessage = L"Failed to get a valid file time " + szElapsed + kContinue;
    return false;
}

bool CDocInfo::RunValidator(IFileValidatior* pValidator, const std::wstring& szElapsed)
{
    if (pValidator && !pValidator->Validate(m_szPath.c_str(), m_nPages, m_szMessage))
    {
        if (!m_szMessage.empty())
            m_szMessage += L". ";
        m_szMessage += L"Failed to open document" + szElapsed + kContinue;
        return false;
    }
    if (pValidator && m_nPages == 0)
    {
        m_szMessage = L"Failed to count a valid pages number" + szElapsed + kContinue;
        return false;
    }
    m_bValid = true;
    m_nStatus = kStatusPassed;
    return true;
}
