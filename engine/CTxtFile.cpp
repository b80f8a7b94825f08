// Processing of one control file: age test, parse, document check, release or give-up, and the
// failure report.
#include "engine/CTxtFile.h"

#include "config/CFMParams.h"
#include "documents/CreateImgDoc.h"
#include "engine/CIncomingFolder.h"
#include "log/CLogger.h"
#include "log/ErrorCodes.h"
#include "mail/CMIMEMessage.h"
#include "mail/CSmtpClient.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/OpenDirectory.h"
#include "platform/SysError.h"
#include "util/CFileOps.h"

namespace
{

void Log(int32_t nCode, const std::wstring& szMessage)
{
    CLogger().Log(nCode, szMessage);
}

// Seconds between a file's last write and now.
double AgeOf(const platform::SFileTime& ftWrite)
{
    const double dNow = static_cast<double>(platform::FileTimeToU64(platform::GetSystemTimeAsFileTime()));
    return (dNow - static_cast<double>(platform::FileTimeToU64(ftWrite))) / 1e7;
}

// Why an open control file was refused, for log texts: its kind, or its number of names.
std::wstring RefusalText(const platform::SEntryInfo& seen)
{
    if (seen.eKind == platform::EFileKind::Regular)
        return L"a file with " + std::to_wstring(seen.nLinks) + L" names (linked in from elsewhere?)";
    return platform::FileKindText(seen.eKind);
}

// Opens the control file at szPath for reading within the pass's folders; seen tells what was found
// there (Missing when nothing was).
bool OpenInFolder(CIncomingFolder& folder, const std::wstring& szPath, platform::COpenFile& file,
                  std::wstring& szName, platform::SEntryInfo& seen)
{
    seen = platform::SEntryInfo();
    const platform::COpenDirectory* pFolder = folder.FolderOf(szPath, szName);
    if (pFolder == nullptr)
    {
        // A subfolder that is a link now is refused like a link in the control file's place.
        if (platform::GetLastError() == platform::kErrorCantResolveFilename)
            seen.eKind = platform::EFileKind::SymbolicLink;
        return false;
    }
    const bool bOpen = pFolder->OpenFile(szName, CTxtFile::kMaxLinks, file);
    seen = file.Info();
    return bOpen;
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
    CIncomingFolder folder(m_pParams->m_szTxtInDir);
    return Process(folder);
}

void CTxtFile::BeginAttempt()
{
    if (m_nState == kStateNew)
        m_nAttempts = 0;
    ++m_nAttempts;
    m_nState = kStatePending;
}

CTxtFile::EOpened CTxtFile::OpenControlFile(CIncomingFolder& folder, platform::COpenFile& file)
{
    std::wstring szName;
    platform::SEntryInfo seen;
    if (OpenInFolder(folder, m_szPath, file, szName, seen))
        return EOpened::Readable;
    const platform::EFileKind eKind = seen.eKind;
    if (eKind == platform::EFileKind::Missing)
    {
        // The control file vanished from the incoming directory: nothing is left to release, and
        // keeping the record would skip it on every pass for ever.
        Log(kCodeServiceWarning, L"TXT file " + m_szPath + L" is gone. Attempt " + AttemptText());
        m_nState = kStateFinished;
        return EOpened::Finished;
    }
    if (eKind == platform::EFileKind::Directory)
    {
        // The listing skips directories; one that took the control file's place meanwhile is left
        // alone like them.
        Log(kCodeServiceWarning, L"TXT file " + m_szPath + L" is a directory now; it is ignored.");
        m_nState = kStateFinished;
        return EOpened::Finished;
    }
    // Anything but a regular file of one name (a FIFO, a socket, a device, a symbolic link, a hard
    // link) is never read: reading it could block the pass or read another file through the link.
    m_fields.clear();
    Log(kCodeServiceWarning, L"TXT file " + m_szPath + L" is " + RefusalText(seen) +
                                 L", not a regular file; it is not read. Attempt " + AttemptText());
    return EOpened::Refused;
}

bool CTxtFile::IsOldEnough(const platform::COpenFile& file) const
{
    return AgeOf(file.Info().ftLastWrite) > kMinimumAge;
}

void CTxtFile::ParseContent(platform::COpenFile& file)
{
    std::wstring szParseMessage;
    CFileParser parser(m_fields, m_szPath);
    std::string szBytes;
    bool bParsed = false;
    if (file.ReadPrefix(CFileParser::kMaxFileBytes + 1, szBytes))
        bParsed = parser.ParseBytes(szBytes, szParseMessage);
    else
        szParseMessage = L"Stream has an error state. ";
    if (!bParsed)
    {
        Log(kCodeServiceWarning, szParseMessage);
        Log(kCodeServiceWarning, L"Failed to parse TXT file " + m_szPath + L". Attempt " + AttemptText());
    }
}

bool CTxtFile::ResolveDocument(std::wstring& szDocument) const
{
    szDocument = GetField(kFieldFile, kFieldSX);
    if (szDocument.empty())
    {
        Log(kCodeServiceWarning, L"Failed to extract a valid PDF path from file " + m_szPath + L". Attempt " +
                                     AttemptText() + L". ");
        Log(kCodeServiceWarning, FieldsText(L", ", L""));
        return false;
    }
    if (szDocument.find(platform::kPathSeparator) == std::wstring::npos)
        szDocument = m_pParams->m_szPdfDefDir + szDocument;
    return true;
}

bool CTxtFile::CheckDocument(const std::wstring& szDocument) const
{
    // One look tells whether the document is there and what it is: a FIFO or a device would block
    // the document libraries, which open it by name.
    const platform::EFileKind eKind = platform::GetFileKind(szDocument, true);
    if (eKind == platform::EFileKind::Missing || eKind == platform::EFileKind::Directory)
    {
        Log(kCodeServiceWarning, L"File '" + szDocument + L"' not exists. Attempt " + AttemptText());
        return false;
    }
    if (eKind != platform::EFileKind::Regular)
    {
        Log(kCodeServiceWarning, L"File '" + szDocument + L"' is " + platform::FileKindText(eKind) +
                                     L", not a regular file. Attempt " + AttemptText());
        return false;
    }
    boost::shared_ptr<IImgDoc> pDoc = CreateImgDoc(szDocument.c_str());
    if (!pDoc)
    {
        Log(kCodeServiceWarning,
            L"Failed to detect document type for '" + szDocument + L"'. Attempt " + AttemptText());
        return false;
    }
    if (!pDoc->Open(1))
    {
        Log(kCodeServiceWarning, L"Failed to open document '" + szDocument + L"'. Attempt " + AttemptText());
        return false;
    }
    pDoc->Close();
    return true;
}

void CTxtFile::MoveInto(CIncomingFolder& folder, platform::COpenFile& file, const std::wstring& szDir,
                        bool bReplace)
{
    std::wstring szName;
    const platform::COpenDirectory* pFrom = folder.FolderOf(m_szPath, szName);
    const platform::COpenDirectory* pTo = folder.TargetFolder(szDir);
    if (pFrom == nullptr || pTo == nullptr)
        throw new CFExeption(platform::GetLastError() != 0
                                 ? platform::GetLastError()
                                 : static_cast<uint32_t>(platform::kErrorGenFailure));
    if (pFrom->MoveEntry(szName, *pTo, szName, bReplace))
        return;
    if (platform::GetLastError() != platform::kErrorNotSameDevice)
        throw new CFExeption(platform::GetLastError());
    // Across file systems: a copy made from the file opened and checked, never by its path, then
    // its name removed here.
    if (!file.CopyInto(*pTo, szName, bReplace) || !pFrom->DeleteEntry(szName))
        throw new CFExeption(platform::GetLastError());
}

bool CTxtFile::Release(CIncomingFolder& folder, platform::COpenFile& file)
{
    try
    {
        MoveInto(folder, file, m_pParams->m_szTxtOutDir, false);
        m_nState = kStateFinished;
        return true;
    }
    catch (CFExeption* pError)
    {
        Log(kCodeServiceWarning, pError->GetMessage() + L"'. Attempt " + AttemptText());
        delete pError;
        return false;
    }
}

bool CTxtFile::Process(CIncomingFolder& folder)
{
    BeginAttempt();
    platform::COpenFile file;
    const EOpened eOpened = OpenControlFile(folder, file);
    if (eOpened == EOpened::Finished)
        return false;
    if (eOpened == EOpened::Refused)
    {
        if (m_nAttempts > m_pParams->m_nAttempts)
            GiveUp(folder);
        return false;
    }
    if (!IsOldEnough(file))
    {
        Log(kCodeServiceWarning, L"Skip reading new TXT file " + m_szPath);
        return false;
    }
    ParseContent(file);
    if (m_nAttempts > m_pParams->m_nAttempts)
    {
        file.Close();
        GiveUp(folder);
        return false;
    }
    std::wstring szDocument;
    if (!ResolveDocument(szDocument) || !CheckDocument(szDocument))
        return false;
    return Release(folder, file);
}

void CTxtFile::GiveUp(CIncomingFolder& folder)
{
    m_nState = kStateFinished;
    Log(kCodeServiceError, L"Failed to process incoming file. Number of attempts exceeded.");

    // The control file is looked at once more, as it is now: what is mailed, moved or deleted is
    // the regular file of one name that this look opened, or nothing.
    platform::COpenFile file;
    std::wstring szName;
    platform::SEntryInfo seen;
    const bool bOpen = OpenInFolder(folder, m_szPath, file, szName, seen);
    std::string szBytes;
    std::wstring szNote;
    bool bAttach = false;
    if (!bOpen && seen.eKind == platform::EFileKind::Missing)
        szNote = L"Not attached: the control file is missing.\r\n";
    else if (!bOpen)
        szNote = L"Not attached: the control file is " + RefusalText(seen) + L", not a regular file.\r\n";
    else if (!file.ReadPrefix(CFileParser::kMaxFileBytes + 1, szBytes))
        szNote = L"Not attached: the control file could not be read.\r\n";
    else if (szBytes.size() > CFileParser::kMaxFileBytes || file.Info().nSize > CFileParser::kMaxFileBytes)
        szNote = L"Not attached: the control file has " + std::to_wstring(file.Info().nSize) +
                 L" bytes (limit " + std::to_wstring(CFileParser::kMaxFileBytes) + L").\r\n";
    else
        bAttach = true;
    SendReport(bAttach ? &szBytes : nullptr, szNote);

    // A link (or a file linked in under a second name) and a folder stay where they are: moving or
    // deleting them could reach what they point to or hold. Other special files are moved or
    // deleted by their name, never opened.
    const platform::EFileKind eKind = seen.eKind;
    if (eKind == platform::EFileKind::Missing)
        return;
    if (!bOpen && (eKind == platform::EFileKind::SymbolicLink || eKind == platform::EFileKind::Directory ||
                   eKind == platform::EFileKind::Regular))
    {
        Log(kCodeServiceWarning, L"TXT file " + m_szPath + L" is " + RefusalText(seen) +
                                     L" now; it is neither moved nor deleted.");
        return;
    }
    try
    {
        if (m_pParams->m_bMoveErr != 0)
            MoveInto(folder, file, m_pParams->m_szTxtErrDir, true);
        else
        {
            const platform::COpenDirectory* pFolder = folder.FolderOf(m_szPath, szName);
            if (pFolder == nullptr)
                throw new CFExeption(platform::GetLastError());
            CFileOps ops;
            ops.DeleteEntry(*pFolder, szName, seen);
        }
    }
    catch (CFExeption* pError)
    {
        Log(kCodeServiceWarning, pError->GetMessage());
        delete pError;
    }
}

bool CTxtFile::SendFailureReport()
{
    CIncomingFolder folder(m_pParams->m_szTxtInDir);
    platform::COpenFile file;
    std::wstring szName;
    std::string szBytes;
    platform::SEntryInfo seen;
    const bool bOpen = OpenInFolder(folder, m_szPath, file, szName, seen);
    if (bOpen && file.ReadPrefix(CFileParser::kMaxFileBytes + 1, szBytes) &&
        szBytes.size() <= CFileParser::kMaxFileBytes)
        return SendReport(&szBytes, L"");
    std::wstring szNote = L"Not attached: the control file is missing.\r\n";
    if (bOpen)
        szNote = L"Not attached: the control file has " + std::to_wstring(file.Info().nSize) +
                 L" bytes (limit " + std::to_wstring(CFileParser::kMaxFileBytes) + L").\r\n";
    else if (seen.eKind != platform::EFileKind::Missing)
        szNote = L"Not attached: the control file is " + RefusalText(seen) + L", not a regular file.\r\n";
    return SendReport(nullptr, szNote);
}

bool CTxtFile::SendReport(const std::string* pContent, const std::wstring& szNote)
{
    std::wstring szBody = L"Waiting for document failed.\r\n";
    szBody += L"Details:.\r\n";
    szBody += FieldsText(L"", L"\r\n");
    // Each note stays one line within the text part's wrap width.
    szBody += szNote;
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
    if (pContent != nullptr)
        client.AddAttachmentData(CFileOps::FileNameOf(m_szPath), *pContent);
    client.Message()->BuildMessage();
    bool bSent = client.Send();
    if (bSent)
        Log(kCodeProcessInfo,
            L"The e-mail was successfully delivered to recipient(s): " + szRecipient + L". ");
    else
        Log(kCodeServiceError,
            L"E-mail delivery failed to recipient(s): " + szRecipient + L". " + client.LastError());
    return bSent;
}
