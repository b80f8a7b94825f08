// The content-agent registry.
#include "mail/CMIMETypeManager.h"

#include "mail/CAppOctetStream.h"
#include "mail/CMIMEContainer.h"
#include "mail/CMIMEPart.h"
#include "mail/CTextPlain.h"

CMIMETypeManager& CMIMETypeManager::Instance()
{
    static CMIMETypeManager manager;
    return manager;
}

CMIMETypeManager::CMIMETypeManager()
{
    RegisterAgent(std::make_unique<CTextPlain>(CMIMEPart::kTextPlain));
    RegisterAgent(std::make_unique<CAppOctetStream>(CMIMEPart::kAttachment));
    RegisterAgent(std::make_unique<CAppOctetStream>(CMIMEPart::kInline));
    RegisterAgent(std::make_unique<CTextPlain>(CMIMEPart::kTextHtml));
    RegisterAgent(std::make_unique<CMIMEContainer>(CMIMEPart::kMultipartMixed));
    RegisterAgent(std::make_unique<CMIMEContainer>(CMIMEPart::kMultipartRelated));
    RegisterAgent(std::make_unique<CMIMEContainer>(CMIMEPart::kMultipartAlternative));
}

CMIMETypeManager::~CMIMETypeManager() = default;

CMIMEContentAgent* CMIMETypeManager::FindAgent(int nTypeCode)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const std::unique_ptr<CMIMEContentAgent>& pAgent : m_vAgents)
        if (pAgent->TypeCode() == nTypeCode)
            return pAgent.get();
    return nullptr;
}

void CMIMETypeManager::RegisterAgent(std::unique_ptr<CMIMEContentAgent> pAgent)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vAgents.push_back(std::move(pAgent));
}
