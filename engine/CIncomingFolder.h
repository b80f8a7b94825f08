// One pass's hold on the incoming folder: the folder the settings name, opened once, the subfolders
// of its control files opened relative to it, and the outgoing and error folders the pass moves
// control files into. Every control file is then reached by its name in one of these open folders.
#pragma once

#include "platform/OpenDirectory.h"

#include <map>
#include <memory>
#include <string>

class CIncomingFolder
{
public:
    // szInDir: the incoming folder as the settings name it (trailing separator optional).
    explicit CIncomingFolder(const std::wstring& szInDir);
    virtual ~CIncomingFolder() = default;
    CIncomingFolder(const CIncomingFolder&) = delete;
    CIncomingFolder& operator=(const CIncomingFolder&) = delete;

    // The incoming folder itself, opened on first use; null with the last error when it cannot be.
    const platform::COpenDirectory* Root();

    // The open folder that holds szPath, and szPath's name in it. A path in the incoming folder or
    // in one of its subfolders is reached relative to the incoming folder (the subfolder opened
    // without following a link); any other path through its parent folder. Null with the last error
    // when that folder cannot be opened (1921 when a subfolder has become a link).
    const platform::COpenDirectory* FolderOf(const std::wstring& szPath, std::wstring& szName);

    // A folder that control files go to (outgoing, error), opened once per pass and created with its
    // parents when missing; null with the last error when that fails.
    const platform::COpenDirectory* TargetFolder(const std::wstring& szDir);

private:
    const platform::COpenDirectory*
    Cached(std::map<std::wstring, std::unique_ptr<platform::COpenDirectory>>& cache,
           const std::wstring& szKey, bool bCreate);

    std::wstring m_szInDir; // with its trailing separator
    platform::COpenDirectory m_root;
    bool m_bRootTried = false;
    uint32_t m_nRootError = 0;
    std::map<std::wstring, std::unique_ptr<platform::COpenDirectory>> m_subfolders; // by name
    std::map<std::wstring, std::unique_ptr<platform::COpenDirectory>> m_others;     // by path
    std::map<std::wstring, std::unique_ptr<platform::COpenDirectory>> m_targets;    // by path
};
