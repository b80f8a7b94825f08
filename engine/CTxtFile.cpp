// Processing of one control file: age test, parse, document check, release or give-up, and the
// failure report.
#include "engine/CTxtFile.h"

#include "config/CFMParams.h"
#include "documents/CreateImgDoc.h"
#include "log/CLogger.h"
#include "mail/CMIMEMessage.h"
#include "mail/CSmtpClient.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "util/CFileOps.h"

namespace
{

enum : int32_t
{
    kCodeProcessError = 36,
    kCodeFileWarning = 3009,
    kCodeProcessInfo = 4004,
};

void Log(int32_t nCode, const std::wstring& szMessage)
{
    CLogger().Log(nCode, szMessage);
}

// Seconds since the file's last write; false when the time cannot be read.
bool FileAge(const std::wstring& szPath, double& dAge)
{
    platform::SFileTime ftWrite;
    if (!platform::GetLastWriteTime(szPath, ftWrite))
        return false;
    const double dNow = static_cast<double>(platform::FileTimeToU64(platform::GetSystemTimeAsFileTime()));
    dAge = (dNow - static_cast<double>(platform::FileTimeToU64(ftWrite))) / 1e7;
    return true;
}

} // namespace

CTxtFile::CTxtFile(const std::wstring& szPath, CFMParams* pParams) : m_pParams(pParams), m_szPath(szPath) {}

std::wstring CTxtFile::GetField(int nFirstId, int nSecondId) const
{
    return LookupField(m_fields, nFirstId, nSecondId);
}

std::wstring CTxtFile::FieldsText(const wchar_t* szSeparator, const wchar_t* szTerminator) const
{
    std::wstring szText;
    bool bFirst = true;
    for (const auto& [szKey, szValue] : m_fields)
    {
        if (!bFirst)
            szText += szSeparator;
        bFirst = false;
        szText += szKey + L": " + szValue + szTerminator;
    }
    return szText;
}

bool CTxtFile::Process()
{
    if (m_nState == kStateNew)
        m_nAttempts = 0;
    ++m_nAttempts;
    m_nState = kStatePending;
    const std::wstring szAttempt = std::to_wstring(m_nAttempts);

    // Anything but a regular file (a FIFO, a socket, a device, a symbolic link) is never opened:
    // reading it could block the pass for ever or read another file through the link.
    const platform::EFileKind eKind = platform::GetFileKind(m_szPath, false);
    if (eKind == platform::EFileKind::Directory)
    {
        // The listing skips directories; one that took the control file's place meanwhile is left
        // alone like them.
        Log(kCodeFileWarning, L"TXT file " + m_szPath + L" is a directory now; it is ignored.");
        m_nState = kStateFinished;
        return false;
    }
    if (eKind != platform::EFileKind::Regular && eKind != platform::EFileKind::Missing)
    {
        m_fields.clear();
        Log(kCodeFileWarning, L"TXT file " + m_szPath + L" is " + platform::FileKindText(eKind) +
                                  L", not a regular file; it is not read. Attempt " + szAttempt);
        if (m_nAttempts > m_pParams->m_nAttempts)
            GiveUp();
        return false;
    }

    double dAge = 0.0;
    if (!FileAge(m_szPath, dAge) || dAge <= kMinimumAge)
    {
        if (CFileOps::GetPathType(m_szPath) == 0)
        {
            // The control file vanished from the incoming directory: nothing is left to release,
            // and keeping the record would skip it on every pass for ever.
            Log(kCodeFileWarning, L"TXT file " + m_szPath + L" is gone. Attempt " + szAttempt);
            m_nState = kStateFinished;
            return false;
        }
        Log(kCodeFileWarning, L"Skip reading new TXT file " + m_szPath);
        return false;
    }

    std::wstring szParseMessage;
    CFileParser parser(m_fields, m_szPath);
    if (!parser.Parse(szParseMessage))
    {
        Log(kCodeFileWarning, szParseMessage);
        Log(kCodeFileWarning, L"Failed to parse TXT file " + m_szPath + L". Attempt " + szAttempt);
    }

    if (m_nAttempts > m_pParams->m_nAttempts)
    {
        GiveUp();
        return false;
    }

    std::wstring szDocument = GetField(kFieldFile, kFieldSX);
    if (szDocument.empty())
    {
        Log(kCodeFileWarning,
            L"Failed to extract a valid PDF path from file " + m_szPath + L". Attempt " + szAttempt + L". ");
        Log(kCodeFileWarning, FieldsText(L", ", L""));
        return false;
    }
    if (szDocument.find(platform::kPathSeparator) == std::wstring::npos)
        szDocument = m_pParams->m_szPdfDefDir + szDocument;

    if (!CFileOps::IsNotDirectory(szDocument))
    {
        Log(kCodeFileWarning, L"File '" + szDocument + L"' not exists. Attempt " + szAttempt);
        return false;
    }

    // A FIFO or a device would block the document libraries, which open it by name.
    const platform::EFileKind eDocKind = platform::GetFileKind(szDocument, true);
    if (eDocKind != platform::EFileKind::Regular)
    {
        Log(kCodeFileWarning, L"File '" + szDocument + L"' is " + platform::FileKindText(eDocKind) +
                                  L", not a regular file. Attempt " + szAttempt);
        return false;
    }

    boost::shared_ptr<IImgDoc> pDoc = CreateImgDoc(szDocument.c_str());
    if (!pDoc)
    {
        Log(kCodeFileWarning,
            L"Failed to detect document type for '" + szDocument + L"'. Attempt " + szAttempt);
        return false;
    }
    if (!pDoc->Open(1))
    {
        Log(kCodeFileWarning, L"Failed to open document '" + szDocument + L"'. Attempt " + szAttempt);
        return false;
    }
    pDoc->Close();
    pDoc.reset();

    try
    {
        CFileOps ops;
        ops.MoveToDirectory(m_szPath, m_pParams->m_szTxtOutDir + CFileOps::FileNameOf(m_szPath), false);
        m_nState = kStateFinished;
        return true;
    }
    catch (CFExeption* pError)
    {
        Log(kCodeFileWarning, pError->GetMessage() + L"'. Attempt " + szAttempt);
        delete pError;
        return false;
    }
}

void CTxtFile::GiveUp()
{
    m_nState = kStateFinished;
    Log(kCodeProcessError, L"Failed to process incoming file. Number of attempts exceeded.");
    SendFailureReport();
    try
    {
        CFileOps ops;
        if (m_pParams->m_bMoveErr != 0)
            ops.MoveToDirectory(m_szPath, m_pParams->m_szTxtErrDir + CFileOps::FileNameOf(m_szPath), true);
        else
            ops.Delete(m_szPath);
    }
    catch (CFExeption* pError)
    {
        Log(kCodeFileWarning, pError->GetMessage());
        delete pError;
    }
}

bool CTxtFile::SendFailureReport()
{
    std::wstring szBody = L"Waiting for document failed.\r\n";
    szBody += L"Details:.\r\n";
    szBody += FieldsText(L"", L"\r\n");

    // The control file travels with the report only when it is a regular file within the parser's
    // bound. It is read here, without following a link, so that nothing else can be mailed in its
    // place.
    platform::SFileContent content;
    const bool bRead =
        platform::ReadFilePrefix(m_szPath, CFileParser::kMaxFileBytes + 1, platform::kReadNoFollow, content);
    const bool bAttach = bRead && content.nSize <= CFileParser::kMaxFileBytes &&
                         content.szBytes.size() <= CFileParser::kMaxFileBytes;
    // Each note stays one line within the text part's wrap width.
    if (bRead && !bAttach)
        szBody += L"Not attached: the control file has " + std::to_wstring(content.nSize) + L" bytes (limit " +
                  std::to_wstring(CFileParser::kMaxFileBytes) + L").\r\n";
    else if (!bRead && content.eKind == platform::EFileKind::Missing)
        szBody += L"Not attached: the control file is missing.\r\n";
    else if (!bRead && content.eKind == platform::EFileKind::Regular)
        szBody += L"Not attached: the control file could not be read.\r\n";
    else if (!bRead)
        szBody += L"Not attached: the control file is " + std::wstring(platform::FileKindText(content.eKind)) +
                  L", not a regular file.\r\n";
    szBody += L"This is an automatically generated message.\r\n";
    szBody += L"Please don't reply to this e-mail";

    // An address with control characters could smuggle commands into the SMTP dialogue, so it is
    // treated like one without "@" or ".".
    std::wstring szRecipient = GetField(kFieldRespondEmail, kFieldCI);
    if (!CSmtpClient::IsUsableAddress(szRecipient))
        szRecipient = m_pParams->m_szDefEmail;

    CSmtpClient client;
    client.m_nPort = m_pParams->m_nEmPort;
    client.SetServer(m_pParams->m_szEmSmtpServer);
    client.SetSender(m_pParams->m_szEmSenderName, m_pParams->m_szEmSenderEmail);
    client.SetSubject(m_pParams->m_szEmSubject);
    client.AddRecipients(szRecipient);
    client.AddBodyText(szBody);
    if (bAttach)
        client.AddAttachmentData(CFileOps::FileNameOf(m_szPath), content.szBytes);
    client.Message()->BuildMessage();
    bool bSent = client.Send();
    if (bSent)
        Log(kCodeProcessInfo,
            L"The e-mail was successfully delivered to recipient(s): " + szRecipient + L". ");
    else
        Log(kCodeProcessError,
            L"E-mail delivery failed to recipient(s): " + szRecipient + L". " + client.LastError());
    return bSent;
}
