// Default behaviour of the content agents.
#include "mail/CMIMEContentAgent.h"

#include "mail/CMIMEMessage.h"
#include "mail/CMIMEPart.h"

bool CMIMEContentAgent::WritePart(CMIMEPart& part, CMIMEMessage& message)
{
    return WriteContent(part.m_szContent, part.m_szParameters, part.m_nFlags, message.m_szBody);
}

bool CMIMEContentAgent::WriteContent(const std::string&, const std::string&, uint32_t, std::string&)
{
    return false;
}
