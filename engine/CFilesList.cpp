// The pending-files list and the directory search that fills it.
#include "engine/CFilesList.h"

#include "engine/IFilesListFiller.h"
#include "platform/FileSystem.h"
#include "util/CFileFindEx.h"
#include "util/CFileOps.h"
#include "watch/CDocInfo.h"
#include "watch/IFileStatus.h"

CFilesList::CFilesList(IFileStatus* pStatus, IFileValidatior* pValidator)
    : m_pStatus(pStatus), m_pValidator(pValidator)
{
}

CFilesList::~CFilesList()
{
    for (CDocInfo* pInfo : m_records)
        delete pInfo;
}

bool CFilesList::AddOrCheck(const CFileFindEx& entry, int nTimeout, int nInterval)
{
    const std::wstring szPath = entry.GetFilePath();
    for (CDocInfo* pInfo : m_records)
    {
        if (pInfo->m_szPath != szPath)
            continue;
        bool bResult = true;
        if (pInfo->m_nStatus != CDocInfo::kStatusPassed)
            bResult = pInfo->Check(m_pValidator, static_cast<uint32_t>(nTimeout) * 1000u, nInterval);
        if (pInfo->m_bChecked && m_pStatus != nullptr)
            m_pStatus->OnFileChecked(*pInfo);
        return bResult;
    }
    CDocInfo* pInfo = new CDocInfo(szPath, entry.GetData(), m_pValidator);
    m_records.push_back(pInfo);
    if (m_pStatus != nullptr)
        m_pStatus->OnFileChecked(*pInfo);
    return true;
}

void CFilesList::CheckPending(int nTimeout, int nInterval)
{
    for (CDocInfo* pInfo : m_records)
    {
        if (pInfo->m_nStatus != CDocInfo::kStatusPending)
            continue;
        pInfo->Check(m_pValidator, static_cast<uint32_t>(nTimeout) * 1000u, nInterval);
        if (pInfo->m_bChecked && m_pStatus != nullptr)
            m_pStatus->OnFileChecked(*pInfo);
    }
}

void CFilesList::RemoveGone(IFileStatus* pStatus)
{
    for (auto it = m_records.begin(); it != m_records.end();)
    {
        uint32_t nAttributes = platform::GetFileAttributes((*it)->m_szPath);
        if (nAttributes != platform::kInvalidFileAttributes && !(nAttributes & platform::kAttributeDirectory))
        {
            ++it;
            continue;
        }
        if (pStatus != nullptr)
            pStatus->OnFileGone(**it);
        delete *it;
        it = m_records.erase(it);
    }
}

bool CFilesList::HasPending() const
{
    for (const CDocInfo* pInfo : m_records)
    {
        if (pInfo->m_nStatus == CDocInfo::kStatusPending)
            return true;
    }
    return false;
}

bool CFilesList::PassTo(IFilesListFiller& filler)
{
    for (CDocInfo* pInfo : m_records)
    {
        if (!filler.OnFileListed(*pInfo, 0))
            return false;
    }
    return true;
}

namespace
{

std::wstring JoinMasks(const std::wstring& szMasks)
{
    std::wstring szJoined;
    std::wstring szPart;
    auto flush = [&]()
    {
        if (szPart.empty())
            return;
        if (!szJoined.empty())
            szJoined += L'|';
        szJoined += szPart;
        szPart.clear();
    };
    for (wchar_t ch : szMasks)
    {
        if (ch == L',' || ch == L';' || ch == L'\n' || ch == L'\t')
            flush();
        else
            szPart += ch;
    }
    flush();
    return szJoined;
}

} // namespace

void CollectFiles(const std::wstring& szDirectory, const std::wstring& szMasks, CFilesList& list, int nDepth,
                  int nMax, int nTimeout, int nInterval, bool& bLimitReached)
{
    bLimitReached = nMax >= 1 && list.Count() >= nMax;
    if (bLimitReached || szDirectory.empty())
        return; // an empty setting names no directory: searching "" would list the working directory
    const std::wstring szFolder = CFileOps::AddTrailingBackslash(szDirectory);
    CFileFindEx find;
    bool bFound = find.FindFile(szFolder, JoinMasks(szMasks));
    for (; bFound; bFound = find.FindNextFile())
    {
        if (nMax >= 1 && list.Count() >= nMax)
        {
            bLimitReached = true;
            break;
        }
        if (find.IsDots())
            continue;
        if (find.IsDirectory())
        {
            const std::wstring szSub = find.GetFilePath();
            if (szSub.find(L".split") != std::wstring::npos || nDepth <= 0)
                continue;
            bool bSubLimit = false;
            CollectFiles(szSub, szMasks, list, nDepth - 1, nMax, nTimeout, nInterval, bSubLimit);
            if (bSubLimit)
                bLimitReached = true;
            continue;
        }
        if (!list.AddOrCheck(find, nTimeout, nInterval))
            bLimitReached = true;
    }
    find.Close();
}
