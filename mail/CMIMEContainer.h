// Content agent for multipart containers: boundaries, preamble and the child parts.
#pragma once

#include "mail/CMIMEContentAgent.h"

class CMIMEContainer : public CMIMEContentAgent
{
public:
    explicit CMIMEContainer(int nTypeCode) : CMIMEContentAgent(nTypeCode) {}

    // Writes the container header, the preamble (outermost container only), every child through
    // its agent between delimiters, and the closing delimiter. Children are consumed.
    bool WritePart(CMIMEPart& part, CMIMEMessage& message) override;
    virtual std::string ContentTypeText() const;
    virtual std::string PartHeader(const std::string& szContent, const std::string& szParameters,
                                   char chNesting) const;

    static constexpr const char* kBoundary = "_.__.__ZEB__Mailer__Part_Boundary_";
};
