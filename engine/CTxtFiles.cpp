// The collection of pending control files.
#include "engine/CTxtFiles.h"

#include "config/CFMParams.h"
#include "engine/CIncomingFolder.h"
#include "engine/CTxtFile.h"

CTxtFiles::~CTxtFiles()
{
    Clear();
}

bool CTxtFiles::Add(CTxtFile* pFile)
{
    if (Contains(pFile->GetPath()))
    {
        delete pFile;
        return false;
    }
    m_files.push_back(pFile);
    return true;
}

bool CTxtFiles::ProcessAll()
{
    if (m_files.empty())
        return true;
    // The records of one engine share its settings: the first one's incoming folder serves all.
    CIncomingFolder folder(m_files.front()->GetParams()->m_szTxtInDir);
    return ProcessAll(folder);
}

bool CTxtFiles::ProcessAll(CIncomingFolder& folder)
{
    bool bResult = true;
    for (auto it = m_files.begin(); it != m_files.end();)
    {
        CTxtFile* pFile = *it;
        if (pFile->GetState() == CTxtFile::kStateNew || pFile->GetState() == CTxtFile::kStatePending)
        {
            if (!pFile->Process(folder))
                bResult = false;
        }
        if (pFile->GetState() == CTxtFile::kStateFinished)
        {
            delete pFile;
            it = m_files.erase(it);
        }
        else
            ++it;
    }
    return bResult;
}

bool CTxtFiles::Contains(const std::wstring& szPath) const
{
    for (const CTxtFile* pFile : m_files)
    {
        if (pFile->GetPath() == szPath)
            return true;
    }
    return false;
}

void CTxtFiles::Clear()
{
    for (CTxtFile* pFile : m_files)
        delete pFile;
    m_files.clear();
}
