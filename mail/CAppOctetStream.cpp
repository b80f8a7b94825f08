// Attachments: header lines with the file name, and the data in Base64 lines.
#include "mail/CAppOctetStream.h"

#include "mail/CBase64.h"
#include "mail/CMIMEMessage.h"
#include "mail/CMIMEPart.h"
#include "mail/MailText.h"
#include "platform/FileSystem.h"

#include <fstream>
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

        std::ifstream file(part.m_szContent, std::ios::binary);
        if (!file.is_open())
            return false;
        file.seekg(0, std::ios::end);
        const std::streamoff nSize = file.tellg();
        file.seekg(0, std::ios::beg);
        if (nSize > 0)
            szBody.reserve(szBody.size() + static_cast<size_t>(nSize) / 3 * 4 +
                           static_cast<size_t>(nSize) / 27 + kBodyReserve);
        char chunk[kBytesPerLine];
        size_t nTotal = 0;
        size_t nNextProgress = kProgressStep;
        for (;;)
        {
            file.read(chunk, kBytesPerLine);
            const size_t nRead = static_cast<size_t>(file.gcount());
            if (nRead > 0)
                appendLine(chunk, nRead);
            nTotal += nRead;
            if (nTotal >= nNextProgress)
            {
                message.OnProgress(1, static_cast<int>(nTotal / kProgressStep * 10));
                nNextProgress += kProgressStep;
            }
            if (nRead < kBytesPerLine)
                break;
        }
        szBody += "\r\n";
        return true;
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}
