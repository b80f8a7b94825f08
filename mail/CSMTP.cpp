// The SMTP protocol steps of one mail.
#include "mail/CSMTP.h"

#include "mail/CMailMessage.h"
#include "mail/MailText.h"
#include "platform/SysError.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <new>

namespace
{

constexpr int kExpectedCodes[] = {250, 220, 354, 221};
constexpr size_t kReplyBufferSize = 1024;
// A reply longer than this is not SMTP; the dialogue gives up instead of buffering without end.
constexpr size_t kMaxReplySize = 64 * 1024;
constexpr size_t kSendChunk = 64 * 1024;
constexpr size_t kBodyReserve = 300000;

std::string DurationText(uint32_t nMs)
{
    char szText[32];
    if (nMs % 1000 == 0)
        std::snprintf(szText, sizeof szText, "%u seconds", nMs / 1000);
    else
        std::snprintf(szText, sizeof szText, "%.3g seconds", nMs / 1000.0);
    return szText;
}

bool IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

CSMTP::CSMTP(const std::string& szHost, int nPort, const SSmtpLimits& limits)
    : m_nPort(nPort), m_szHost(szHost), m_limits(limits)
{
}

CSMTP::~CSMTP()
{
    Disconnect();
}

void CSMTP::FormatMailMessage(CMailMessage& message)
{
    message.BuildMessage();
}

void CSMTP::CloseConnection()
{
    m_socket.Close();
    m_vReplyBuffer.clear();
    m_vReplyBuffer.shrink_to_fit();
    m_szPending.clear();
    m_bConnected = false;
}

bool CSMTP::ReadReply(int nExpected, uint32_t nTimeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto tDeadline = Clock::now() + std::chrono::milliseconds(nTimeoutMs);
    m_bTimedOut = false;
    size_t nLineStart = 0;
    size_t nReplyEnd = std::string::npos;
    for (;;)
    {
        size_t nLf;
        while (nReplyEnd == std::string::npos &&
               (nLf = m_szPending.find('\n', nLineStart)) != std::string::npos)
        {
            // A line "250-..." announces more lines; "250 ..." or a bare "250" ends the reply.
            const bool bLast = nLf - nLineStart < 4 || m_szPending[nLineStart + 3] != '-';
            nLineStart = nLf + 1;
            if (bLast)
                nReplyEnd = nLineStart;
        }
        if (nReplyEnd != std::string::npos)
            break;
        if (m_szPending.size() > kMaxReplySize)
        {
            m_szLastError = "Socket Error";
            m_bBroken = true;
            return false;
        }
        const auto nLeft =
            std::chrono::duration_cast<std::chrono::milliseconds>(tDeadline - Clock::now()).count();
        const long nReceived = nLeft > 0 ? m_socket.Receive(m_vReplyBuffer.data(), m_vReplyBuffer.size(),
                                                            static_cast<uint32_t>(nLeft))
                                         : -1;
        if (nReceived < 0 && (nLeft <= 0 || platform::GetLastError() == platform::kErrorTimeout))
        {
            m_szLastError = "Timed out: the server did not reply within " + DurationText(nTimeoutMs);
            m_bTimedOut = true;
            m_bBroken = true;
            return false;
        }
        if (nReceived < 0)
        {
            m_szLastError = "Socket Error";
            m_bBroken = true;
            return false;
        }
        if (nReceived == 0)
        {
            m_szLastError = "Socket Error: the server closed the connection";
            m_bBroken = true;
            return false;
        }
        m_szPending.append(m_vReplyBuffer.data(), static_cast<size_t>(nReceived));
    }
    const std::string szReply = m_szPending.substr(0, nReplyEnd);
    m_szPending.erase(0, nReplyEnd);

    int nCode = 0;
    if (szReply.size() >= 3 &&
        std::all_of(szReply.begin(), szReply.begin() + 3, [](char c) { return c >= '0' && c <= '9'; }))
        nCode = (szReply[0] - '0') * 100 + (szReply[1] - '0') * 10 + (szReply[2] - '0');
    if (nCode == kExpectedCodes[nExpected])
        return true;

    std::string szLine = szReply.substr(0, szReply.find('\n'));
    if (!szLine.empty() && szLine.back() == '\r')
        szLine.pop_back();
    const auto itText = std::find_if(szLine.begin(), szLine.end(), IsAsciiLetter);
    m_szLastError = std::to_string(nCode) + ":" + StripControlCharacters(std::string(itText, szLine.end()));
    return false;
}

bool CSMTP::SendText(const std::string& szText)
{
    for (size_t nPos = 0; nPos < szText.size(); nPos += kSendChunk)
    {
        const size_t nSize = std::min(kSendChunk, szText.size() - nPos);
        if (!m_socket.Send(szText.data() + nPos, nSize, m_limits.m_nDataBlockMs))
        {
            m_bTimedOut = platform::GetLastError() == platform::kErrorTimeout;
            m_szLastError = m_bTimedOut ? "Timed out: the server took no data for " +
                                              DurationText(m_limits.m_nDataBlockMs)
                                        : "Socket Error";
            m_bBroken = true;
            return false;
        }
    }
    return true;
}

bool CSMTP::Connect()
{
    if (m_szHost.empty())
    {
        m_szLastError = "SMTP Server Host Name isn't defined";
        return false;
    }
    if (m_bConnected)
        return true;
    try
    {
        m_vReplyBuffer.assign(kReplyBufferSize, 0);
    }
    catch (const std::bad_alloc&)
    {
        m_szLastError = "Not enough memory";
        return false;
    }
    m_bBroken = false;
    m_bTimedOut = false;
    m_szPending.clear();
    if (m_nPort <= 0 || m_nPort > 65535 || HasControlCharacter(m_szHost) ||
        !m_socket.Connect(m_szHost, static_cast<uint16_t>(m_nPort), m_limits.m_nConnectMs))
    {
        const bool bTimedOut = platform::GetLastError() == platform::kErrorTimeout;
        m_szLastError = "Unable to connect to server";
        if (bTimedOut)
            m_szLastError += " (timed out after " + DurationText(m_limits.m_nConnectMs) + ")";
        CloseConnection();
        return false;
    }
    if (!ReadReply(kReplyGreeting, m_limits.m_nGreetingMs))
    {
        m_szLastError = "Server didn't respond.";
        if (m_bTimedOut)
            m_szLastError += " (timed out after " + DurationText(m_limits.m_nGreetingMs) + ")";
        CloseConnection();
        return false;
    }
    std::string szHostName = platform::LocalHostName();
    if (szHostName.empty() || HasControlCharacter(szHostName))
        szHostName = "localhost";
    if (!SendText("HELO " + szHostName + "\r\n") || !ReadReply(kReplyOk, m_limits.m_nCommandMs))
    {
        CloseConnection();
        return false;
    }
    m_bConnected = true;
    return true;
}

bool CSMTP::SendMail(CMailMessage& message)
{
    if (!m_bConnected)
    {
        m_szLastError = "Must be connected";
        return false;
    }
    if (m_bBroken)
        return false;
    // A control character in an address could end the command line early and start another one.
    if (HasControlCharacter(message.m_szFrom))
    {
        m_szLastError = "Invalid sender address: it holds a control character";
        return false;
    }
    if (!SendText("MAIL FROM:<" + message.m_szFrom + ">\r\n") || !ReadReply(kReplyOk, m_limits.m_nCommandMs))
        return false;
    for (const CRecipient& recipient : message.Recipients())
    {
        if (HasControlCharacter(recipient.m_szAddress))
        {
            m_szLastError = "Invalid recipient address: it holds a control character";
            continue;
        }
        // A refused recipient does not stop the mail; a broken connection does.
        if (!SendText("RCPT TO:<" + recipient.m_szAddress + ">\r\n") ||
            (!ReadReply(kReplyOk, m_limits.m_nCommandMs) && m_bBroken))
            return false;
    }
    if (!SendText("DATA\r\n") || !ReadReply(kReplyData, m_limits.m_nDataStartMs))
        return false;
    if (!SendText(message.m_szHeader) || !SendText(TransparentBody(message.m_szBody)) ||
        !SendText("\r\n.\r\n"))
        return false;
    return ReadReply(kReplyOk, m_limits.m_nDataEndMs);
}

bool CSMTP::Disconnect()
{
    if (!m_bConnected)
        return true;
    bool bResult = false;
    if (!m_bBroken && SendText("QUIT\r\n"))
        bResult = ReadReply(kReplyQuit, m_limits.m_nCommandMs);
    CloseConnection();
    return bResult;
}

std::string CSMTP::TransparentBody(const std::string& szBody)
{
    std::string szResult;
    szResult.reserve(szBody.size() + kBodyReserve);
    bool bLineStart = true;
    for (size_t i = 0; i < szBody.size(); ++i)
    {
        const char c = szBody[i];
        if (bLineStart && c == '.')
            szResult += '.';
        if (c == '\r' || c == '\n')
        {
            szResult += "\r\n";
            if (c == '\r' && i + 1 < szBody.size() && szBody[i + 1] == '\n')
                ++i;
            bLineStart = true;
            continue;
        }
        szResult += c;
        bLineStart = false;
    }
    return szResult;
}
