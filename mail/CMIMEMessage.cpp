// MIME header line and the part tree of a message.
#include "mail/CMIMEMessage.h"

#include "mail/CMIMEContentAgent.h"
#include "mail/CMIMETypeManager.h"

CMIMEMessage::CMIMEMessage()
{
    CMIMETypeManager::Instance();
}

CMIMEMessage::~CMIMEMessage() = default;

CMIMEPart* CMIMEMessage::AddPart(bool bNameFile, const std::string& szContent, int nTypeCode, uint32_t nFlags)
{
    if (!m_pRootPart)
    {
        m_pRootPart = std::make_unique<CMIMEPart>();
        m_pRootPart->m_nTypeCode = CMIMEPart::kMultipartMixed;
    }
    auto pPart = std::make_unique<CMIMEPart>();
    pPart->m_szContent = szContent;
    pPart->m_nTypeCode = nTypeCode;
    pPart->m_nFlags = nFlags | (bNameFile ? CMIMEPart::kNameFile : 0);
    CMIMEPart* pResult = pPart.get();
    auto& vChildren = m_pRootPart->m_vChildren;
    if (nTypeCode == CMIMEPart::kTextPlain)
        vChildren.insert(vChildren.begin(), std::move(pPart));
    else
        vChildren.push_back(std::move(pPart));
    return pResult;
}

void CMIMEMessage::BuildHeader()
{
    CMailMessage::BuildHeader();
    AddHeaderLine("MIME-Version: 1.0");
}

void CMIMEMessage::CloseHeader() {}

void CMIMEMessage::BuildBody()
{
    if (!m_szBody.empty())
    {
        auto pText = std::make_unique<CMIMEPart>();
        pText->m_szContent = m_szBody;
        pText->m_nTypeCode = CMIMEPart::kTextPlain;
        pText->m_nFlags = CMIMEPart::kEncoding7Bit;
        if (m_pRootPart)
            m_pRootPart->m_vChildren.insert(m_pRootPart->m_vChildren.begin(), std::move(pText));
        else
            m_pRootPart = std::move(pText);
        m_szBody.clear();
    }
    if (m_pRootPart)
    {
        OnProgress(1, 0);
        if (CMIMEContentAgent* pAgent = CMIMETypeManager::Instance().FindAgent(m_pRootPart->m_nTypeCode))
            pAgent->WritePart(*m_pRootPart, *this);
        m_pRootPart.reset();
    }
    CMailMessage::BuildBody();
}
