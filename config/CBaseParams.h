// Base of the settings object: owns the accessor of the INI file beside the executable.
#pragma once

#include "config/CIniFile.h"

#include <memory>
#include <string>

class CBaseParams
{
public:
    // Opens (creating or converting as needed) the INI file beside the executable.
    CBaseParams();
    virtual ~CBaseParams();

    const std::shared_ptr<CIniFile>& IniFile() const { return m_pIniFile; }
    const std::wstring& IniPath() const { return m_szIniPath; }

protected:
    // Uses the INI file at szIniPath instead; for tests, which must not share the file beside their
    // executable.
    explicit CBaseParams(const std::wstring& szIniPath);

    std::shared_ptr<CIniFile> m_pIniFile;
    std::wstring m_szIniPath;
};
