// Content agent for text parts (text/plain and text/html, UTF-8), wrapped at the line width.
#pragma once

#include "mail/CMIMEContentAgent.h"

class CTextPlain : public CMIMEContentAgent
{
public:
    CTextPlain(int nTypeCode, int nWrapWidth = 76) : CMIMEContentAgent(nTypeCode), m_nWrapWidth(nWrapWidth) {}

    bool WriteContent(const std::string& szContent, const std::string& szParameters, uint32_t nFlags,
                      std::string& szBody) override;
    virtual std::string ContentTypeText() const;
    virtual std::string PartHeader(const std::string& szContent, const std::string& szParameters,
                                   uint32_t nFlags) const;

    // Breaks lines longer than nWidth at their last blank within the line: the piece before loses
    // trailing blanks, the piece after its leading blanks. A line without a blank stays whole.
    // CR LF, a lone LF and a lone CR each end a line.
    static std::string WrapText(const std::string& szText, int nWidth);

private:
    int m_nWrapWidth;
};
