// One pass's open incoming folder, its subfolders and the target folders.
#include "engine/CIncomingFolder.h"

#include "platform/SysError.h"
#include "util/CFileOps.h"

using platform::kPathSeparator;

CIncomingFolder::CIncomingFolder(const std::wstring& szInDir)
    : m_szInDir(CFileOps::AddTrailingBackslash(szInDir))
{
}

const platform::COpenDirectory* CIncomingFolder::Root()
{
    if (!m_bRootTried)
    {
        m_bRootTried = true;
        if (m_szInDir.empty() || !m_root.Open(m_szInDir))
            m_nRootError = m_szInDir.empty() ? platform::kErrorPathNotFound : platform::GetLastError();
    }
    if (!m_root.IsOpen())
    {
        platform::SetLastError(m_nRootError);
        return nullptr;
    }
    return &m_root;
}

const platform::COpenDirectory* CIncomingFolder::FolderOf(const std::wstring& szPath, std::wstring& szName)
{
    const size_t nSlash = szPath.rfind(kPathSeparator);
    szName = nSlash == std::wstring::npos ? szPath : szPath.substr(nSlash + 1);
    if (!m_szInDir.empty() && szPath.size() > m_szInDir.size() &&
        szPath.compare(0, m_szInDir.size(), m_szInDir) == 0)
    {
        const std::wstring szRest = szPath.substr(m_szInDir.size());
        const size_t nSep = szRest.find(kPathSeparator);
        if (nSep == std::wstring::npos)
            return Root();
        if (szRest.find(kPathSeparator, nSep + 1) == std::wstring::npos)
        {
            // One level down, as the listing goes: the subfolder is opened relative to the open
            // incoming folder, never through a link.
            const std::wstring szSub = szRest.substr(0, nSep);
            auto it = m_subfolders.find(szSub);
            if (it == m_subfolders.end())
            {
                const platform::COpenDirectory* pRoot = Root();
                if (pRoot == nullptr)
                    return nullptr;
                auto pSub = std::make_unique<platform::COpenDirectory>();
                if (!pSub->OpenChild(*pRoot, szSub))
                    return nullptr; // not kept: a later record may find it back in place
                it = m_subfolders.emplace(szSub, std::move(pSub)).first;
            }
            return it->second.get();
        }
    }
    return Cached(m_others, nSlash == std::wstring::npos ? std::wstring(L".") : szPath.substr(0, nSlash + 1),
                  false);
}

const platform::COpenDirectory* CIncomingFolder::TargetFolder(const std::wstring& szDir)
{
    return Cached(m_targets, szDir.empty() ? std::wstring(L".") : szDir, true);
}

const platform::COpenDirectory*
CIncomingFolder::Cached(std::map<std::wstring, std::unique_ptr<platform::COpenDirectory>>& cache,
                        const std::wstring& szKey, bool bCreate)
{
    auto it = cache.find(szKey);
    if (it != cache.end())
        return it->second.get();
    auto pFolder = std::make_unique<platform::COpenDirectory>();
    if (!(bCreate ? pFolder->OpenOrCreate(szKey) : pFolder->Open(szKey)))
        return nullptr;
    return cache.emplace(szKey, std::move(pFolder)).first->second.get();
}
