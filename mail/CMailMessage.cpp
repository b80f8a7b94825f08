// Recipients and the RFC 5322 header block of a mail.
#include "mail/CMailMessage.h"

#include "mail/MailText.h"

#include <ctime>

void CMailMessage::OnProgress(int, int) {}

void CMailMessage::ResetHeader()
{
    m_szHeader.clear();
}

void CMailMessage::AddHeaderLine(const std::string& szLine)
{
    m_szHeader += szLine;
    m_szHeader += "\r\n";
}

void CMailMessage::CloseHeader()
{
    m_szHeader += "\r\n";
}

void CMailMessage::BuildHeader()
{
    // Header values never carry control characters: a CR or LF there would start a new header
    // line chosen by whoever supplied the text.
    // Names and the subject beyond ASCII travel as encoded words, which every mail reader decodes.
    std::string szFromName = HeaderDisplayName(m_szFromName);
    if (!szFromName.empty() && szFromName.back() != ' ')
        szFromName += ' ';
    AddHeaderLine("From: " + szFromName + "<" + StripControlCharacters(m_szFrom) + ">");

    std::string szTo;
    std::string szCc;
    for (const CRecipient& recipient : m_vRecipients)
    {
        std::string* pLine = recipient.m_nKind == CRecipient::kTo   ? &szTo
                             : recipient.m_nKind == CRecipient::kCc ? &szCc
                                                                    : nullptr;
        if (pLine == nullptr)
            continue;
        if (!pLine->empty())
            *pLine += ",";
        *pLine +=
            HeaderDisplayName(recipient.m_szName) + "<" + StripControlCharacters(recipient.m_szAddress) + ">";
    }
    if (!szTo.empty())
        AddHeaderLine("To: " + szTo);
    if (!szCc.empty())
        AddHeaderLine("Cc: " + szCc);

    m_tDateTime = static_cast<int64_t>(std::time(nullptr));
    AddHeaderLine("Date: " + MailDate(static_cast<std::time_t>(m_tDateTime)));
    AddHeaderLine("Subject: " + EncodeHeaderText(m_szSubject));
    AddHeaderLine("X-Mailer: " + StripControlCharacters(m_szMailerName));
}

void CMailMessage::BuildBody()
{
    if (m_szBody.size() < 2 || m_szBody.compare(m_szBody.size() - 2, 2, "\r\n") != 0)
        m_szBody += "\r\n";
}

void CMailMessage::BuildMessage()
{
    OnProgress(0, 0);
    ResetHeader();
    BuildHeader();
    CloseHeader();
    BuildBody();
    OnProgress(2, 0);
}

bool CMailMessage::AppendRecipient(const std::string& szAddress, const std::string& szName, int nKind)
{
    CRecipient recipient;
    recipient.m_nKind = nKind;
    recipient.m_szAddress = szAddress;
    recipient.m_szName = szName;
    m_vRecipients.push_back(std::move(recipient));
    return true;
}

bool CMailMessage::AddRecipientList(const std::string& szList, int nKind)
{
    size_t nStart = 0;
    while (nStart <= szList.size())
    {
        size_t nEnd = szList.find(';', nStart);
        if (nEnd == std::string::npos)
            nEnd = szList.size();
        const std::string szPiece = szList.substr(nStart, nEnd - nStart);
        nStart = nEnd + 1;
        if (szPiece.empty())
            continue;
        const size_t nOpen = szPiece.find('<');
        if (nOpen == std::string::npos)
        {
            AppendRecipient(szPiece, std::string(), nKind);
            continue;
        }
        const size_t nClose = szPiece.find('>');
        if (nClose != std::string::npos && nClose < nOpen)
            return false;
        const std::string szName = szPiece.substr(0, nOpen);
        const size_t nAddressEnd = nClose != std::string::npos ? nClose : szPiece.size();
        const std::string szAddress =
            nAddressEnd > nOpen ? szPiece.substr(nOpen + 1, nAddressEnd - nOpen - 1) : std::string();
        AppendRecipient(szAddress, szName, nKind);
    }
    return true;
}

bool CMailMessage::RecipientAt(int nIndex, std::string& szAddress, std::string& szName, int& nKind) const
{
    if (nIndex < 0 || nIndex >= RecipientCount())
        return false;
    const CRecipient& recipient = m_vRecipients[static_cast<size_t>(nIndex)];
    szAddress = recipient.m_szAddress;
    szName = recipient.m_szName;
    nKind = recipient.m_nKind;
    return true;
}
