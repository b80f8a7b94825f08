// Base of the settings object.
#include "config/CBaseParams.h"

CBaseParams::CBaseParams() : m_pIniFile(std::make_shared<CIniFile>()), m_szIniPath(m_pIniFile->Path()) {}

CBaseParams::CBaseParams(const std::wstring& szIniPath)
    : m_pIniFile(std::make_shared<CIniFile>(szIniPath)), m_szIniPath(m_pIniFile->Path())
{
}

CBaseParams::~CBaseParams() = default;
