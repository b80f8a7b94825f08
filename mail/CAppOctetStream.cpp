// Attachments: header lines with the file name, and the data in Base64 lines.
#include "mail/CAppOctetStream.h"

#include "mail/CBase64.h"
#include "mail/CMIMEMessage.h"
#include "mail/CMIMEPart.h"
#include "mail/MailText.h"
#include "platform/Encoding.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <new>

namespace
{

constexpr size_t kBytesPerLine = 54; // 72 Base64 characters
constexpr size_t kBodyReserve = 300000;
constexpr size_t kProgressStep = 10000;

} // namespace

std::string CAppOctetStream::FileNameOf(const std::string& szPath)
{
    const size_t nPos = szPath.rfind(static_cast<char>(platform::kPathSeparator));
    return nPos == std::string::npos ? szPath : szPath.substr(nPos + 1);
}

std::string CAppOctetStream::PartHeader(const CMIMEPart& part) const
{
    if (part.m_nTypeCode == CMIMEPart::kInline)
        return "Content-Type: " + ContentTypeText() +
               "\r\nContent-Transfer-Encoding: base64\r\nContent-ID: <" +
               StripControlCharacters(part.m_szParameters) + ">\r\n\r\n";

    // The name is quoted (or written in its UTF-8 form) when it is not a plain token, so that a
    // blank or a special character cannot cut it short.
    const std::string szName =
        FileNameOf((part.m_nFlags & CMIMEPart::kContentIsData) ? part.m_szParameters : part.m_szContent);
    const std::string szParameters =
        (part.m_nFlags & CMIMEPart::kNameFile) ? "; " + MimeParameter("file", szName) : std::string();
    return "Content-Type: " + ContentTypeText() + szParameters +
           "\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; " +
           MimeParameter("filename", szName) + "\r\n\r\n";
}

bool CAppOctetStream::WritePart(CMIMEPart& part, CMIMEMessage& message)
{
    std::string& szBody = message.m_szBody;
    szBody += PartHeader(part);

    CBase64 encoder;
    auto appendLine = [&](const char* pData, size_t nSize)
    {
        szBody += encoder.Encode(reinterpret_cast<const uint8_t*>(pData), static_cast<int>(nSize));
        szBody += "\r\n";
    };

    try
    {
        if (part.m_nFlags & CMIMEPart::kContentIsData)
        {
            const std::string& szData = part.m_szContent;
            szBody.reserve(szBody.size() + szData.size() / 3 * 4 + szData.size() / 27 + kBodyReserve);
            for (size_t nPos = 0; nPos < szData.size(); nPos += kBytesPerLine)
                appendLine(szData.data() + nPos, std::min(kBytesPerLine, szData.size() - nPos));
            szBody += "\r\n";
            return true;
        }

        std::wstring szPath;
        std::string szData;
        if (!platform::MultiByteToWide(platform::kCodePageUtf8, part.m_szContent, szPath) ||
            !platform::ReadWholeFile(szPath, szData))
            return false;
        szBody.reserve(szBody.size() + szData.size() / 3 * 4 + szData.size() / 27 + kBodyReserve);
        size_t nNextProgress = kProgressStep;
        for (size_t nPos = 0; nPos < szData.size(); nPos += kBytesPerLine)
        {
            appendLine(szData.data() + nPos, std::min(kBytesPerLine, szData.size() - nPos));
            const size_t nTotal = std::min(nPos + kBytesPerLine, szData.size());
            if (nTotal >= nNextProgress)
            {
                message.OnProgress(1, static_cast<int>(nTotal / kProgressStep * 10));
                nNextProgress += kProgressStep;
            }
        }
        szBody += "\r\n";
        return true;
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}
