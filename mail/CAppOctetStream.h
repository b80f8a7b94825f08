// Content agent for attachments and inline data: application/octet-stream in Base64 lines.
#pragma once

#include "mail/CMIMEContentAgent.h"

class CAppOctetStream : public CMIMEContentAgent
{
public:
    explicit CAppOctetStream(int nTypeCode) : CMIMEContentAgent(nTypeCode) {}

    // Writes the part header, then the data (the file named by the content, or the content itself
    // with kContentIsData) as Base64 lines of 72 characters. False when the file cannot be opened;
    // the header lines stay in the body then.
    bool WritePart(CMIMEPart& part, CMIMEMessage& message) override;
    virtual std::string ContentTypeText() const { return "application/octet-stream"; }

    std::string PartHeader(const CMIMEPart& part) const;

    // The file name after the last path separator.
    static std::string FileNameOf(const std::string& szPath);
};
