// The pending-files list and the directory search that fills it.
#include "engine/CFilesList.h"

#include "engine/IFilesListFiller.h"
#include "platform/FileSystem.h"
#include "platform/OpenDirectory.h"
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
    return AddOrCheck(entry.GetFilePath(), entry.GetData(), nTimeout, nInterval);
}

bool CFilesList::AddOrCheck(const std::wstring& szPath, const platform::SFindData& data, int nTimeout,
                            int nInterval)
{
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
    CDocInfo* pInfo = new CDocInfo(szPath, data, m_pValidator);
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

// The directory entry of a described name, as a search hands it out.
platform::SFindData FindDataOf(const std::wstring& szName, const platform::SEntryInfo& info)
{
    platform::SFindData data;
    data.szName = szName;
    data.nAttributes = info.eKind == platform::EFileKind::Directory ? platform::kAttributeDirectory
                                                                    : platform::kAttributeArchive;
    if (info.bReadOnly)
        data.nAttributes |= platform::kAttributeReadOnly;
    data.nSize = info.nSize;
    data.ftCreation = info.ftCreation;
    data.ftLastWrite = info.ftLastWrite;
    data.ftLastAccess = info.ftLastAccess;
    return data;
}

void CollectIn(const platform::COpenDirectory& directory, const CFileFindEx& filter,
               const std::wstring& szMasks, CFilesList& list, int nDepth, int nMax, int nTimeout,
               int nInterval, bool& bLimitReached)
{
    const std::wstring szFolder = CFileOps::AddTrailingBackslash(directory.Path());
    directory.List(
        [&](const platform::SListedEntry& entry)
        {
            platform::EFileKind eKind = entry.eKind;
            platform::SEntryInfo info;
            bool bDescribed = false;
            if (eKind == platform::EFileKind::Other)
            {
                // The file system did not say: the entry itself does.
                if (!directory.Describe(entry.szName, info))
                    return true; // gone since it was read
                eKind = info.eKind;
                bDescribed = true;
            }
            const bool bDirectory = eKind == platform::EFileKind::Directory;
            if (!filter.PassesFilter(entry.szName, bDirectory))
                return true;
            if (nMax >= 1 && list.Count() >= nMax)
            {
                bLimitReached = true;
                return false;
            }
            const std::wstring szPath = szFolder + entry.szName;
            if (bDirectory)
            {
                if (szPath.find(L".split") != std::wstring::npos || nDepth <= 0)
                    return true;
                platform::COpenDirectory sub;
                if (!sub.OpenChild(directory, entry.szName))
                    return true; // replaced by a link or gone meanwhile: not followed
                CollectIn(sub, filter, szMasks, list, nDepth - 1, nMax, nTimeout, nInterval, bLimitReached);
                return true;
            }
            platform::SFindData data;
            if (list.DescribesEntries())
            {
                if (!bDescribed && !directory.Describe(entry.szName, info))
                    return true;
                data = FindDataOf(entry.szName, info);
            }
            else
                data.szName = entry.szName;
            if (!list.AddOrCheck(szPath, data, nTimeout, nInterval))
                bLimitReached = true;
            return true;
        });
}

} // namespace

void CollectFiles(const std::wstring& szDirectory, const std::wstring& szMasks, CFilesList& list, int nDepth,
                  int nMax, int nTimeout, int nInterval, bool& bLimitReached)
{
    bLimitReached = nMax >= 1 && list.Count() >= nMax;
    if (bLimitReached || szDirectory.empty())
        return; // an empty setting names no directory: searching "" would list the working directory
    platform::COpenDirectory directory;
    if (!directory.Open(szDirectory))
        return;
    CollectFiles(directory, szMasks, list, nDepth, nMax, nTimeout, nInterval, bLimitReached);
}

void CollectFiles(const platform::COpenDirectory& directory, const std::wstring& szMasks, CFilesList& list,
                  int nDepth, int nMax, int nTimeout, int nInterval, bool& bLimitReached)
{
    bLimitReached = nMax >= 1 && list.Count() >= nMax;
    if (bLimitReached || !directory.IsOpen())
        return;
    CFileFindEx filter;
    filter.SetFilter(JoinMasks(szMasks));
    CollectIn(directory, filter, szMasks, list, nDepth, nMax, nTimeout, nInterval, bLimitReached);
}
