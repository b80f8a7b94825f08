// The settings: load and save in the order of the INI file's layout.
#include "config/CFMParams.h"

#include "util/CFileOps.h"

// The key of a member, derived from the member's own name.
#define TARVIK_INI_KEY(member) KeyFromMemberName(L## #member)

CFMParams::CFMParams()
{
    Load();
}

CFMParams::CFMParams(const std::wstring& szIniPath) : CBaseParams(szIniPath)
{
    Load();
}

CFMParams::~CFMParams()
{
    Save();
}

std::wstring CFMParams::KeyFromMemberName(const std::wstring& szMemberName)
{
    size_t nFirst = szMemberName.find_first_of(L"ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    return nFirst == std::wstring::npos ? std::wstring() : szMemberName.substr(nFirst);
}

void CFMParams::Load()
{
    CIniFile& ini = *m_pIniFile;
    const std::wstring szGeneral = m_szGeneralSection;
    const std::wstring szMail = m_szMailSection;

    m_nAttemptTimeout = ini.ReadInt(szGeneral, TARVIK_INI_KEY(m_nAttemptTimeout), m_nAttemptTimeout);
    m_szTxtInDir = ini.ReadString(szGeneral, TARVIK_INI_KEY(m_szTxtInDir), m_szTxtInDir);
    m_szTxtOutDir = ini.ReadString(szGeneral, TARVIK_INI_KEY(m_szTxtOutDir), m_szTxtOutDir);
    m_szPdfDefDir = ini.ReadString(szGeneral, TARVIK_INI_KEY(m_szPdfDefDir), m_szPdfDefDir);
    m_nAttempts = ini.ReadInt(szGeneral, TARVIK_INI_KEY(m_nAttempts), m_nAttempts);
    m_bMoveErr = ini.ReadInt(szGeneral, TARVIK_INI_KEY(m_bMoveErr), m_bMoveErr);
    m_szTxtErrDir = ini.ReadString(szGeneral, TARVIK_INI_KEY(m_szTxtErrDir), m_szTxtErrDir);

    m_szDefEmail = ini.ReadString(szMail, TARVIK_INI_KEY(m_szDefEmail), m_szDefEmail);
    m_szEmSmtpServer = ini.ReadString(szMail, TARVIK_INI_KEY(m_szEmSmtpServer), m_szEmSmtpServer);
    m_szEmSenderEmail = ini.ReadString(szMail, TARVIK_INI_KEY(m_szEmSenderEmail), m_szEmSenderEmail);
    m_szEmSenderName = ini.ReadString(szMail, TARVIK_INI_KEY(m_szEmSenderName), m_szEmSenderName);
    m_szEmSubject = ini.ReadString(szMail, TARVIK_INI_KEY(m_szEmSubject), m_szEmSubject);
    m_nEmPort = ini.ReadInt(szMail, TARVIK_INI_KEY(m_nEmPort), m_nEmPort);
    NormaliseFolders();
}

void CFMParams::NormaliseFolders()
{
    m_szTxtInDir = CFileOps::AddTrailingBackslash(m_szTxtInDir);
    m_szTxtOutDir = CFileOps::AddTrailingBackslash(m_szTxtOutDir);
    m_szPdfDefDir = CFileOps::AddTrailingBackslash(m_szPdfDefDir);
    m_szTxtErrDir = CFileOps::AddTrailingBackslash(m_szTxtErrDir);
}

bool CFMParams::Save()
{
    CIniFile& ini = *m_pIniFile;
    const std::wstring szGeneral = m_szGeneralSection;
    const std::wstring szMail = m_szMailSection;
    bool bOk = true;

    bOk &= ini.WriteInt(szGeneral, TARVIK_INI_KEY(m_nAttemptTimeout), m_nAttemptTimeout);
    bOk &= ini.WriteString(szGeneral, TARVIK_INI_KEY(m_szTxtInDir), m_szTxtInDir);
    bOk &= ini.WriteString(szGeneral, TARVIK_INI_KEY(m_szTxtOutDir), m_szTxtOutDir);
    bOk &= ini.WriteString(szGeneral, TARVIK_INI_KEY(m_szPdfDefDir), m_szPdfDefDir);
    bOk &= ini.WriteInt(szGeneral, TARVIK_INI_KEY(m_nAttempts), m_nAttempts);
    bOk &= ini.WriteInt(szGeneral, TARVIK_INI_KEY(m_bMoveErr), m_bMoveErr);
    bOk &= ini.WriteString(szGeneral, TARVIK_INI_KEY(m_szTxtErrDir), m_szTxtErrDir);

    bOk &= ini.WriteString(szMail, TARVIK_INI_KEY(m_szDefEmail), m_szDefEmail);
    bOk &= ini.WriteString(szMail, TARVIK_INI_KEY(m_szEmSmtpServer), m_szEmSmtpServer);
    bOk &= ini.WriteString(szMail, TARVIK_INI_KEY(m_szEmSenderEmail), m_szEmSenderEmail);
    bOk &= ini.WriteString(szMail, TARVIK_INI_KEY(m_szEmSenderName), m_szEmSenderName);
    bOk &= ini.WriteString(szMail, TARVIK_INI_KEY(m_szEmSubject), m_szEmSubject);
    bOk &= ini.WriteInt(szMail, TARVIK_INI_KEY(m_nEmPort), m_nEmPort);
    return bOk;
}
