// A mail being composed: sender, subject, recipients and body text (all UTF-8), and the header
// block written from them.
#pragma once

#include "mail/CRecipient.h"

#include <cstdint>
#include <string>
#include <vector>

// Used by one thread at a time. BuildMessage formats the header and the body once.
class CMailMessage
{
public:
    CMailMessage() = default;
    virtual ~CMailMessage() = default;
    CMailMessage(const CMailMessage&) = delete;
    CMailMessage& operator=(const CMailMessage&) = delete;

    // Progress hook of the formatting and attachment steps; does nothing here.
    virtual void OnProgress(int nStep, int nValue);
    virtual void BuildHeader();
    virtual void BuildBody();
    virtual void CloseHeader();
    virtual void ResetHeader();
    // Appends the line and CR LF to the header block.
    virtual void AddHeaderLine(const std::string& szLine);

    bool AppendRecipient(const std::string& szAddress, const std::string& szName, int nKind);
    // Adds the pieces of a ";"-separated list: "Name <address>" or a bare address. Fails at a piece
    // that has ">" before "<"; the pieces before it stay added.
    bool AddRecipientList(const std::string& szList, int nKind);
    // False for an index out of range.
    bool RecipientAt(int nIndex, std::string& szAddress, std::string& szName, int& nKind) const;
    int RecipientCount() const { return static_cast<int>(m_vRecipients.size()); }
    const std::vector<CRecipient>& Recipients() const { return m_vRecipients; }

    // Formats the message: ResetHeader, BuildHeader, CloseHeader, BuildBody, with progress calls.
    void BuildMessage();

    std::string m_szFrom;     // sender address: envelope and From line
    std::string m_szFromName; // sender name, already in double quotes
    std::string m_szSubject;
    std::string m_szMailerName = "ZEB Mailer";
    std::string m_szHeader;  // the header block once built
    int64_t m_tDateTime = 0; // when the header was built, seconds since 1970
    std::string m_szBody;    // body text, then the formatted body
    int m_nWrapWidth = 76;

protected:
    std::vector<CRecipient> m_vRecipients;
};
