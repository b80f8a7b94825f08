// The mail facade: composes one report or test mail from wide-text settings and sends it through
// the configured SMTP server, turning every failure into one readable error text.
#pragma once

#include "mail/SmtpLimits.h"

#include <memory>
#include <string>

class CMIMEMessage;

// One client sends one mail, on the calling thread. Use it in this order: construct, set m_nPort,
// SetServer, SetSender, SetSubject, AddRecipients, AddBodyText (one or more), AddAttachment
// (optional), Message()->BuildMessage(), Send, LastError on failure. Every text is converted to
// UTF-8 when it is stored. Nothing throws.
class CSmtpClient
{
public:
    CSmtpClient();
    virtual ~CSmtpClient();
    CSmtpClient(const CSmtpClient&) = delete;
    CSmtpClient& operator=(const CSmtpClient&) = delete;

    // The server's TCP port (the EmPort setting), set directly before Send.
    int m_nPort = 25;

    // The SMTP server's host name or dotted (IPv4 or IPv6) address.
    void SetServer(const std::wstring& szHost);
    // Sender display name (control characters are dropped; it is written quoted) and address.
    void SetSender(const std::wstring& szName, const std::wstring& szAddress);
    // Subject line; control characters are dropped.
    void SetSubject(const std::wstring& szSubject);
    // Addresses separated by "," or ";", each a bare address or "Name <address>"; blanks around each
    // piece are dropped, empty pieces skipped. All become To recipients.
    void AddRecipients(const std::wstring& szList);
    // Appends one paragraph block and a blank line to the text part.
    void AddBodyText(const std::wstring& szText);
    // Attaches the file at the path (read when the message is built), named by its file name.
    void AddAttachment(const std::wstring& szPath);
    // Attaches bytes already read, named szFileName (a name without directory).
    void AddAttachmentData(const std::wstring& szFileName, const std::string& szData);

    // The message being composed, created on first need; owned by the client. Run its BuildMessage
    // once after filling and before Send.
    CMIMEMessage* Message();

    // Runs one whole SMTP dialogue for the message. True when the server accepted the data. After
    // any attempt that reached the server the message is gone and the next setter starts a new one.
    // On failure LastError holds the reason ("Connection fail: ...", "Email fail (...): ...").
    bool Send();

    // Text of the last failure; empty until one happens.
    const std::wstring& LastError() const { return m_szLastError; }

    // Time limits for the dialogue; the defaults are kSmtpLimits (tests shorten them).
    void SetLimits(const SSmtpLimits& limits) { m_limits = limits; }

    // True when the text holds a character of code 0 to 31 or 127.
    static bool HasControlCharacter(const std::wstring& szText);
    // True when the address can be handed to the server: it holds "@" and "." and no control
    // character. The failure report falls back to the default address when this is false.
    static bool IsUsableAddress(const std::wstring& szAddress);

private:
    std::string m_szServer;
    std::wstring m_szLastError;
    std::unique_ptr<CMIMEMessage> m_pMessage;
    SSmtpLimits m_limits;
};
