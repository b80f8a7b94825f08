// A mail with MIME parts: text, attachments and nested multiparts, written into the body by the
// registered content agents.
#pragma once

#include "mail/CMIMEPart.h"
#include "mail/CMailMessage.h"

#include <memory>

class CMIMEMessage : public CMailMessage
{
public:
    CMIMEMessage();
    ~CMIMEMessage() override;

    // Adds a part under the root (made on first need as multipart/mixed). A text part (code 0) goes
    // first, any other part last. bNameFile adds CMIMEPart::kNameFile to the flags. The part is
    // owned by the message; the pointer stays valid until the body is built.
    CMIMEPart* AddPart(bool bNameFile, const std::string& szContent, int nTypeCode, uint32_t nFlags);

    void BuildHeader() override;
    // Moves the body text into a text part and writes the part tree into the body; once only.
    void BuildBody() override;
    // The root part writes the blank line that ends the header, so nothing is added here.
    void CloseHeader() override;

    bool m_bPreamblePending = true;
    // Numbers the boundaries of nested multiparts; raised while a container's child is written.
    char m_chNesting = '0';

private:
    std::unique_ptr<CMIMEPart> m_pRootPart;
};
