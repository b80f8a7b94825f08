// The SMTP dialogue over one TCP connection: greeting, HELO, envelope, data and QUIT, each step
// checked against its expected reply code and bounded in time.
#pragma once

#include "mail/SmtpLimits.h"
#include "platform/Socket.h"

#include <string>
#include <vector>

class CMailMessage;

// One object serves one mail on one thread. Failures are reported through LastError, never thrown.
class CSMTP
{
public:
    // Expected reply codes, indexed by step.
    enum EReply : int
    {
        kReplyOk = 0,       // 250: HELO, MAIL, RCPT, end of data
        kReplyGreeting = 1, // 220
        kReplyData = 2,     // 354
        kReplyQuit = 3,     // 221
    };

    CSMTP(const std::string& szHost, int nPort, const SSmtpLimits& limits = kSmtpLimits);
    virtual ~CSMTP(); // disconnects
    CSMTP(const CSMTP&) = delete;
    CSMTP& operator=(const CSMTP&) = delete;

    // Runs the message's BuildMessage sequence.
    virtual void FormatMailMessage(CMailMessage& message);
    // MAIL, RCPT for every recipient (a refused one does not stop the mail), DATA, header and
    // body. True when the server accepted the data. Needs a connection.
    virtual bool SendMail(CMailMessage& message);

    // Connects, reads the greeting and says HELO with the local host name. True when connected.
    bool Connect();
    // Says QUIT and closes; true when the server answered 221 (or there was no connection).
    bool Disconnect();
    const std::string& LastError() const { return m_szLastError; }

    // The body as it goes on the wire: every line ends with CR LF (a lone LF gets a CR before it, a
    // lone CR an LF after it) and every line that begins with "." gets a second ".".
    static std::string TransparentBody(const std::string& szBody);

private:
    // Reads one whole reply (every line up to the one whose code is not followed by "-") within
    // the time limit and compares its code with the expected one of the step.
    bool ReadReply(int nExpected, uint32_t nTimeoutMs);
    // Sends the text within the data-block limit; on failure sets the last error and marks the
    // connection broken.
    bool SendText(const std::string& szText);
    void CloseConnection();

    std::string m_szLastError = "OK";
    bool m_bConnected = false;
    bool m_bBroken = false;   // the connection failed or timed out: no further dialogue on it
    bool m_bTimedOut = false; // the last failed step ran out of time
    int m_nPort;
    std::string m_szHost;
    SSmtpLimits m_limits;
    platform::CSocket m_socket;
    std::vector<char> m_vReplyBuffer; // allocated at connection, freed at disconnection
    std::string m_szPending;          // bytes received after the end of the last reply
};
