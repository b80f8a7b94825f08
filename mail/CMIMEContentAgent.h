// Base of the content agents that write one kind of MIME part into a message body.
#pragma once

#include <cstdint>
#include <string>

class CMIMEMessage;
class CMIMEPart;

// Agents are shared by every thread (CMIMETypeManager) and keep no per-message state.
class CMIMEContentAgent
{
public:
    explicit CMIMEContentAgent(int nTypeCode) : m_nTypeCode(nTypeCode) {}
    virtual ~CMIMEContentAgent() = default;

    // Appends the part (its header lines and content) to the message body. By default hands the
    // part's content, parameters and flags to WriteContent.
    virtual bool WritePart(CMIMEPart& part, CMIMEMessage& message);
    // Writes the content into the body; by default writes nothing and fails.
    virtual bool WriteContent(const std::string& szContent, const std::string& szParameters, uint32_t nFlags,
                              std::string& szBody);

    int TypeCode() const { return m_nTypeCode; }

protected:
    int m_nTypeCode;
};
