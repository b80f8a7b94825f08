// Text parts: their header lines and line wrapping.
#include "mail/CTextPlain.h"

#include "mail/CMIMEPart.h"

std::string CTextPlain::ContentTypeText() const
{
    return m_nTypeCode == CMIMEPart::kTextHtml ? "text/html;\r\n\tcharset=\"utf-8\""
                                               : "text/plain;\r\n\tcharset=\"utf-8\"";
}

std::string CTextPlain::PartHeader(const std::string&, const std::string& szParameters, uint32_t nFlags) const
{
    std::string szEncoding;
    switch (nFlags & CMIMEPart::kEncodingMask)
    {
    case CMIMEPart::kEncoding7Bit:
        szEncoding = "7Bit";
        break;
    case CMIMEPart::kEncodingQuotedPrintable:
        szEncoding = "quoted-printable";
        break;
    case 0:
        szEncoding = m_nTypeCode == CMIMEPart::kTextHtml ? "quoted-printable" : "7Bit";
        break;
    default:
        szEncoding = "7Bit";
        break;
    }
    return "Content-Type: " + ContentTypeText() + szParameters +
           "\r\nContent-Transfer-Encoding: " + szEncoding + "\r\n\r\n";
}

bool CTextPlain::WriteContent(const std::string& szContent, const std::string& szParameters, uint32_t nFlags,
                              std::string& szBody)
{
    szBody += PartHeader(szContent, szParameters, nFlags);
    szBody += WrapText(szContent, m_nWrapWidth);
    return true;
}

std::string CTextPlain::WrapText(const std::string& szText, int nWidth)
{
    std::string szResult;
    szResult.reserve(szText.size() + szText.size() / 32);
    std::string szLine; // the current line, without its end
    size_t nLastBlank = std::string::npos;
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    for (size_t i = 0; i < szText.size(); ++i)
    {
        const char c = szText[i];
        if (c == '\r' || c == '\n')
        {
            szResult += szLine;
            szResult += c;
            szLine.clear();
            nLastBlank = std::string::npos;
            continue;
        }
        if (c == ' ')
            nLastBlank = szLine.size();
        szLine += c;
        if (static_cast<int>(szLine.size()) > nWidth && nLastBlank != std::string::npos)
        {
            size_t nCut = nLastBlank;
            while (nCut > 0 && isBlank(szLine[nCut - 1]))
                --nCut;
            if (nCut == 0)
            {
                // Only leading blanks: breaking there would add an empty line.
                nLastBlank = std::string::npos;
                continue;
            }
            size_t nRest = nLastBlank;
            while (nRest < szLine.size() && isBlank(szLine[nRest]))
                ++nRest;
            szResult.append(szLine, 0, nCut);
            szResult += "\r\n";
            szLine.erase(0, nRest);
            nLastBlank = std::string::npos;
        }
    }
    szResult += szLine;
    return szResult;
}
