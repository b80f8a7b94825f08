// The mail facade: wide-text settings in, one SMTP dialogue per mail, one error text out.
#include "mail/CSmtpClient.h"

#include "mail/CMIMEMessage.h"
#include "mail/CMIMEPart.h"
#include "mail/CSMTP.h"
#include "mail/MailText.h"
#include "platform/Encoding.h"

namespace
{

// UTF-8 for wide text; an unpaired surrogate becomes U+FFFD instead of losing the whole text.
std::string Utf8(const std::wstring& szWide)
{
    std::string szResult;
    if (platform::WideToMultiByte(platform::kCodePageUtf8, szWide, szResult))
        return szResult;
    std::wstring szClean = szWide;
    for (size_t i = 0; i < szClean.size(); ++i)
    {
        const wchar_t c = szClean[i];
        const bool bHigh = c >= 0xD800 && c <= 0xDBFF;
        const bool bLow = c >= 0xDC00 && c <= 0xDFFF;
        if (bHigh && i + 1 < szClean.size() && szClean[i + 1] >= 0xDC00 && szClean[i + 1] <= 0xDFFF)
            ++i;
        else if (bHigh || bLow || (static_cast<uint32_t>(c) >> 16) != 0) // beyond a unit: 32-bit wchar_t only
            szClean[i] = 0xFFFD;
    }
    szResult.clear();
    platform::WideToMultiByte(platform::kCodePageUtf8, szClean, szResult);
    return szResult;
}

// Wide text for UTF-8; bytes that are not UTF-8 (a server's reply may hold any) are widened one to one.
std::wstring Wide(const std::string& szBytes)
{
    std::wstring szResult;
    if (platform::MultiByteToWide(platform::kCodePageUtf8, szBytes, szResult))
        return szResult;
    return std::wstring(szBytes.begin(), szBytes.end());
}

std::wstring TrimBlanks(const std::wstring& szText)
{
    const size_t nStart = szText.find_first_not_of(L" \t");
    if (nStart == std::wstring::npos)
        return std::wstring();
    const size_t nEnd = szText.find_last_not_of(L" \t");
    return szText.substr(nStart, nEnd - nStart + 1);
}

} // namespace

CSmtpClient::CSmtpClient() : m_limits(kSmtpLimits) {}

CSmtpClient::~CSmtpClient() = default;

CMIMEMessage* CSmtpClient::Message()
{
    if (!m_pMessage)
        m_pMessage = std::make_unique<CMIMEMessage>();
    return m_pMessage.get();
}

void CSmtpClient::SetServer(const std::wstring& szHost)
{
    m_szServer = Utf8(TrimBlanks(szHost));
}

void CSmtpClient::SetSender(const std::wstring& szName, const std::wstring& szAddress)
{
    // The name is written as a quoted string, so quotes and backslashes inside it are escaped.
    std::string szQuoted = "\"";
    for (const char c : StripControlCharacters(Utf8(szName)))
    {
        if (c == '"' || c == '\\')
            szQuoted += '\\';
        szQuoted += c;
    }
    Message()->m_szFromName = szQuoted + "\"";
    Message()->m_szFrom = Utf8(TrimBlanks(szAddress));
}

void CSmtpClient::SetSubject(const std::wstring& szSubject)
{
    Message()->m_szSubject = StripControlCharacters(Utf8(szSubject));
}

void CSmtpClient::AddRecipients(const std::wstring& szList)
{
    if (szList.empty())
        return;
    std::wstring szJoined;
    size_t nStart = 0;
    while (nStart <= szList.size())
    {
        size_t nEnd = szList.find_first_of(L",;", nStart);
        if (nEnd == std::wstring::npos)
            nEnd = szList.size();
        const std::wstring szPiece = TrimBlanks(szList.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
        if (!szPiece.empty())
            szJoined += szPiece + L";";
    }
    if (!szJoined.empty())
        Message()->AddRecipientList(Utf8(szJoined), CRecipient::kTo);
}

void CSmtpClient::AddBodyText(const std::wstring& szText)
{
    Message()->m_szBody += Utf8(szText) + "\r\n\r\n";
}

void CSmtpClient::AddAttachment(const std::wstring& szPath)
{
    Message()->AddPart(true, Utf8(szPath), CMIMEPart::kAttachment, CMIMEPart::kEncodingBase64);
}

void CSmtpClient::AddAttachmentData(const std::wstring& szFileName, const std::string& szData)
{
    CMIMEPart* pPart = Message()->AddPart(true, szData, CMIMEPart::kAttachment,
                                          CMIMEPart::kEncodingBase64 | CMIMEPart::kContentIsData);
    pPart->m_szParameters = Utf8(szFileName);
}

bool CSmtpClient::Send()
{
    CMIMEMessage* pMessage = Message();
    const std::wstring szFailPrefix = L"Email fail (" + Wide(pMessage->m_szSubject) + L"): ";

    // An address with a control character could carry a second SMTP command: refuse the mail.
    if (::HasControlCharacter(pMessage->m_szFrom))
    {
        m_szLastError = szFailPrefix + L"Invalid sender address: it holds a control character";
        return false;
    }
    for (const CRecipient& recipient : pMessage->Recipients())
        if (::HasControlCharacter(recipient.m_szAddress))
        {
            m_szLastError = szFailPrefix + L"Invalid recipient address: it holds a control character";
            return false;
        }
    if (pMessage->m_szHeader.empty())
        pMessage->BuildMessage();

    CSMTP smtp(m_szServer, m_nPort, m_limits);
    if (!smtp.Connect())
    {
        m_szLastError = L"Connection fail: " + Wide(smtp.LastError());
        return false;
    }
    const bool bSent = smtp.SendMail(*pMessage);
    if (!bSent)
    {
        std::wstring szRecipients;
        for (const CRecipient& recipient : pMessage->Recipients())
        {
            if (!szRecipients.empty())
                szRecipients += L",";
            szRecipients += Wide(recipient.m_szName) + L" (" + Wide(recipient.m_szAddress) + L")";
        }
        m_szLastError = szFailPrefix + Wide(smtp.LastError()) + L"A:" + szRecipients;
    }
    m_pMessage.reset();
    if (!smtp.Disconnect())
    {
        m_szLastError += L" .Error in SMTP Disconnect : Email maybe not sent! " + Wide(smtp.LastError());
        return false;
    }
    return bSent;
}

bool CSmtpClient::HasControlCharacter(const std::wstring& szText)
{
    for (const wchar_t c : szText)
        if (c < 32 || c == 127)
            return true;
    return false;
}

bool CSmtpClient::IsUsableAddress(const std::wstring& szAddress)
{
    return szAddress.find(L'@') != std::wstring::npos && szAddress.find(L'.') != std::wstring::npos &&
           !HasControlCharacter(szAddress);
}
