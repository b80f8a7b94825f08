// Multipart containers.
#include "mail/CMIMEContainer.h"

#include "mail/CMIMEMessage.h"
#include "mail/CMIMEPart.h"
#include "mail/CMIMETypeManager.h"

namespace
{

void EndLine(std::string& szBody)
{
    if (szBody.size() < 2 || szBody.compare(szBody.size() - 2, 2, "\r\n") != 0)
        szBody += "\r\n";
}

} // namespace

std::string CMIMEContainer::ContentTypeText() const
{
    switch (m_nTypeCode)
    {
    case CMIMEPart::kMultipartMixed:
        return "multipart/mixed";
    case CMIMEPart::kMultipartAlternative:
        return "multipart/alternative";
    case CMIMEPart::kMultipartRelated:
        return "multipart/related";
    default:
        return "multipart/UNKNOWN";
    }
}

std::string CMIMEContainer::PartHeader(const std::string&, const std::string& szParameters,
                                       char chNesting) const
{
    return "Content-Type: " + ContentTypeText() + ";" + szParameters + "\r\n\tboundary=_" + chNesting +
           kBoundary + "\r\n\r\n";
}

bool CMIMEContainer::WritePart(CMIMEPart& part, CMIMEMessage& message)
{
    std::string& szBody = message.m_szBody;
    const char chNesting = message.m_chNesting;
    szBody += PartHeader(part.m_szContent, part.m_szParameters, chNesting);
    if (message.m_bPreamblePending)
    {
        szBody += "This is a multi-part message in MIME format.\r\n\r\n";
        message.m_bPreamblePending = false;
    }
    for (std::unique_ptr<CMIMEPart>& pChild : part.m_vChildren)
    {
        CMIMEContentAgent* pAgent = CMIMETypeManager::Instance().FindAgent(pChild->m_nTypeCode);
        if (pAgent != nullptr)
        {
            EndLine(szBody);
            szBody += "\r\n--_";
            szBody += chNesting;
            szBody += kBoundary;
            szBody += "\r\n";
            message.OnProgress(1, 0);
            ++message.m_chNesting;
            pAgent->WritePart(*pChild, message);
            --message.m_chNesting;
        }
        pChild.reset();
    }
    part.m_vChildren.clear();
    EndLine(szBody);
    szBody += "--_";
    szBody += chNesting;
    szBody += kBoundary;
    szBody += "--\r\n";
    return true;
}
