// One node of a MIME message's part tree: a text, an attachment or a multipart container.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CMIMEPart
{
public:
    // Flag bits. The low bits choose the transfer encoding of a text part (0 lets the agent choose).
    static constexpr uint32_t kEncoding7Bit = 1;
    static constexpr uint32_t kEncodingQuotedPrintable = 16;
    static constexpr uint32_t kEncodingBase64 = 32;
    static constexpr uint32_t kEncodingMask = 0xFFFF;
    static constexpr uint32_t kContentIsData = 0x20000; // the content is the data, not a file path
    static constexpr uint32_t kNameFile = 0x100000;     // name the file in the Content-Type line

    // Type codes; each has one content agent (CMIMETypeManager).
    static constexpr int kTextPlain = 0;
    static constexpr int kAttachment = 1;
    static constexpr int kInline = 2;
    static constexpr int kTextHtml = 3;
    static constexpr int kMultipartMixed = 1000;
    static constexpr int kMultipartAlternative = 1001;
    static constexpr int kMultipartRelated = 1002;

    uint32_t m_nFlags = 0;
    int m_nTypeCode = kTextPlain;
    std::string m_szParameters; // appended to the Content-Type line; the Content-ID for inline parts
    std::string m_szContent;    // a text, a file path or the data itself
    std::vector<std::unique_ptr<CMIMEPart>> m_vChildren;
};
