// The SMTP dialogue against a scripted loopback server: reply codes, silence, closed connections,
// split and multi-line replies, the data transparency, and the error texts of the mail facade.
#include "mail/CMIMEMessage.h"
#include "mail/CSMTP.h"
#include "mail/CSmtpClient.h"
#include "platform/Socket.h"
#include "tests/mail/CScriptedSmtpServer.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{

using SScript = CScriptedSmtpServer::SScript;

// Generous limits for a loaded machine; the silence tests shorten single ones.
SSmtpLimits TestLimits()
{
    SSmtpLimits limits;
    limits.m_nConnectMs = limits.m_nGreetingMs = limits.m_nCommandMs = 30000;
    limits.m_nDataStartMs = limits.m_nDataBlockMs = limits.m_nDataEndMs = 30000;
    return limits;
}

// Composes a small mail to the scripted server and sends it; returns Send's result.
bool SendTo(CScriptedSmtpServer& server, CSmtpClient& client, const std::wstring& szRecipients,
            const std::wstring& szBody = L"Hello", const SSmtpLimits& limits = TestLimits())
{
    client.SetLimits(limits);
    client.m_nPort = server.Port();
    client.SetServer(L"127.0.0.1");
    client.SetSender(L"Monitor", L"monitor@example.com");
    client.SetSubject(L"Test subject");
    client.AddRecipients(szRecipients);
    client.AddBodyText(szBody);
    client.Message()->BuildMessage();
    return client.Send();
}

bool StartsWith(const std::wstring& sz, const std::wstring& szPrefix)
{
    return sz.compare(0, szPrefix.size(), szPrefix) == 0;
}

TEST(SmtpDialogue, ConversationInOrderWithEnvelopeInAngleBrackets)
{
    SScript script;
    // A multi-line greeting in two sends that split a line, and replies cut in the middle.
    script.m_vGreeting = {"220-scripted.test first line\r\n220-sec", "ond line\r\n220 ready\r\n"};
    script.m_replies["HELO"] = {{"250-scripted.test\r\n", "250 HELP\r\n"}};
    script.m_replies["MAIL"] = {{"25", "0 2.1.0 Ok\r\n"}};
    CScriptedSmtpServer server(script);
    ASSERT_TRUE(server.Start());
    CSmtpClient client;
    EXPECT_TRUE(SendTo(server, client, L"ann@example.com")) << client.LastError();
    server.Stop();

    const std::vector<std::string> vExpected = {"HELO " + platform::LocalHostName(),
                                                "MAIL FROM:<monitor@example.com>",
                                                "RCPT TO:<ann@example.com>", "DATA", "QUIT"};
    EXPECT_EQ(server.Commands(), vExpected);
    EXPECT_NE(server.Data().find("Subject: Test subject\r\n"), std::string::npos);
}

TEST(SmtpDialogue, RefusalsGiveThePartsErrorTexts)
{
    {
        CSmtpClient client;
        client.SetServer(L"");
        client.AddRecipients(L"ann@example.com");
        client.Message()->BuildMessage();
        EXPECT_FALSE(client.Send());
        EXPECT_EQ(client.LastError(), L"Connection fail: SMTP Server Host Name isn't defined");
    }
    {
        SScript script;
        script.m_vGreeting = {"554 5.3.2 No service here\r\n"};
        CScriptedSmtpServer server(script);
        ASSERT_TRUE(server.Start());
        CSmtpClient client;
        EXPECT_FALSE(SendTo(server, client, L"ann@example.com"));
        EXPECT_EQ(client.LastError(), L"Connection fail: Server didn't respond.");
        // The message stays with the client when the server was never reached.
        EXPECT_EQ(client.Message()->RecipientCount(), 1);
    }
    {
        SScript script;
        script.m_replies["MAIL"] = {{"550 5.7.1 Sender rejected\r\n"}};
        CScriptedSmtpServer server(script);
        ASSERT_TRUE(server.Start());
        CSmtpClient client;
        EXPECT_FALSE(SendTo(server, client, L"ann@example.com;Bob <bob@example.com>"));
        EXPECT_EQ(
            client.LastError(),
            L"Email fail (Test subject): 550:Sender rejectedA: (ann@example.com),Bob  (bob@example.com)");
        server.Stop();
        EXPECT_EQ(server.Commands().back(), "QUIT");
    }
    {
        // The reply text starts at its first letter, also when that letter is an "A".
        SScript script;
        script.m_replies["DATA"] = {{"554 5.5.1 Access denied\r\n"}};
        CScriptedSmtpServer server(script);
        ASSERT_TRUE(server.Start());
        CSmtpClient client;
        EXPECT_FALSE(SendTo(server, client, L"ann@example.com"));
        EXPECT_EQ(client.LastError(), L"Email fail (Test subject): 554:Access deniedA: (ann@example.com)");
    }
    {
        // A closed port.
        CLoopbackListener listener;
        ASSERT_TRUE(listener.Listen());
        const int nPort = listener.Port();
        listener.Close();
        CSmtpClient client;
        client.SetLimits(TestLimits());
        client.m_nPort = nPort;
        client.SetServer(L"127.0.0.1");
        client.AddRecipients(L"ann@example.com");
        client.Message()->BuildMessage();
        EXPECT_FALSE(client.Send());
        EXPECT_EQ(client.LastError(), L"Connection fail: Unable to connect to server");
    }
}

TEST(SmtpDialogue, OneRefusedRecipientDoesNotStopTheMail)
{
    SScript script;
    script.m_replies["RCPT"] = {{"550 5.1.1 No such user\r\n"}, {"250 2.1.5 Ok\r\n"}};
    CScriptedSmtpServer server(script);
    ASSERT_TRUE(server.Start());
    CSmtpClient client;
    EXPECT_TRUE(SendTo(server, client, L"nobody@example.com, ann@example.com")) << client.LastError();
    server.Stop();
    EXPECT_EQ(std::count(server.Commands().begin(), server.Commands().end(), "RCPT TO:<ann@example.com>"), 1);
    EXPECT_EQ(std::count(server.Commands().begin(), server.Commands().end(), "RCPT TO:<nobody@example.com>"),
              1);
    EXPECT_FALSE(server.Data().empty());
}

TEST(SmtpDialogue, SilentServerTimesOutAtEachStep)
{
    {
        SScript script;
        script.m_vGreeting.clear();
        CScriptedSmtpServer server(script);
        ASSERT_TRUE(server.Start());
        SSmtpLimits limits = TestLimits();
        limits.m_nGreetingMs = 300;
        CSmtpClient client;
        EXPECT_FALSE(SendTo(server, client, L"ann@example.com", L"Hello", limits));
        EXPECT_TRUE(
            StartsWith(client.LastError(), L"Connection fail: Server didn't respond. (timed out after"))
            << client.LastError();
    }
    {
        SScript script;
        // Only the silent step's limit is short, so a slow machine cannot fail an earlier step.
        script.m_replies["DATA"] = {{}};
        CScriptedSmtpServer server(script);
        ASSERT_TRUE(server.Start());
        SSmtpLimits limits = TestLimits();
        limits.m_nDataStartMs = 300;
        CSmtpClient client;
        EXPECT_FALSE(SendTo(server, client, L"ann@example.com", L"Hello", limits));
        EXPECT_EQ(
            client.LastError(),
            L"Email fail (Test subject): Timed out: the server did not reply within 0.3 secondsA: "
            L"(ann@example.com) .Error in SMTP Disconnect : Email maybe not sent! Timed out: the server "
            L"did not reply within 0.3 seconds");
        server.Stop();
        // After a time-out the dialogue is out of step: nothing more is said on that connection.
        EXPECT_EQ(server.Commands().back(), "DATA");
    }
    {
        SScript script;
        script.m_vDataEndReply.clear();
        CScriptedSmtpServer server(script);
        ASSERT_TRUE(server.Start());
        SSmtpLimits limits = TestLimits();
        limits.m_nDataEndMs = 300;
        CSmtpClient client;
        EXPECT_FALSE(SendTo(server, client, L"ann@example.com", L"Hello", limits));
        EXPECT_TRUE(StartsWith(client.LastError(), L"Email fail (Test subject): Timed out"))
            << client.LastError();
    }
}

TEST(SmtpDialogue, ConnectionClosedDuringData)
{
    SScript script;
    script.m_bCloseDuringData = true;
    CScriptedSmtpServer server(script);
    ASSERT_TRUE(server.Start());
    CSmtpClient client;
    EXPECT_FALSE(SendTo(server, client, L"ann@example.com", std::wstring(200000, L'x')));
    EXPECT_TRUE(StartsWith(client.LastError(), L"Email fail (Test subject): Socket Error"))
        << client.LastError();
    EXPECT_NE(client.LastError().find(L"Email maybe not sent!"), std::wstring::npos);
}

TEST(SmtpDialogue, DataTransparencyOnTheWire)
{
    SScript script;
    CScriptedSmtpServer server(script);
    ASSERT_TRUE(server.Start());
    CSmtpClient client;
    // Single dots first and later, a line that starts with a dot, bare LF and bare CR line ends,
    // and a value holding CR "." CR that could end the data early.
    const std::wstring szBody = L".\nsecond\n.\n.hidden\rcr line\rvalue x\r.\ry";
    EXPECT_TRUE(SendTo(server, client, L"ann@example.com", szBody)) << client.LastError();
    server.Stop();
    const std::string& szData = server.Data();
    EXPECT_NE(szData.find("\r\n\r\n..\r\nsecond\r\n..\r\n..hidden\r\ncr line\r\nvalue x\r\n..\r\ny\r\n"),
              std::string::npos)
        << szData;
    size_t nBareEnds = 0;
    for (size_t i = 0; i < szData.size(); ++i)
    {
        if (szData[i] == '\n' && (i == 0 || szData[i - 1] != '\r'))
            ++nBareEnds;
        if (szData[i] == '\r' && (i + 1 == szData.size() || szData[i + 1] != '\n'))
            ++nBareEnds;
    }
    EXPECT_EQ(nBareEnds, 0u) << "every line on the wire ends with CR LF";
    EXPECT_EQ(szData.find("\r\n.\r\n"), szData.size() - 5) << "the data ends only at the final dot";

    EXPECT_EQ(CSMTP::TransparentBody(".\r\n.x\n..\r"), "..\r\n..x\r\n...\r\n");
    EXPECT_EQ(CSMTP::TransparentBody("a\r\r\nb"), "a\r\n\r\nb");
}

TEST(SmtpDialogue, ControlCharactersNeverReachCommandsOrHeaders)
{
    {
        // An address with a line break is refused before any connection is made.
        CSmtpClient client;
        client.SetLimits(TestLimits());
        client.SetServer(L"127.0.0.1");
        client.m_nPort = 1;
        client.SetSubject(L"S");
        client.AddRecipients(L"ann@example.com\r\nRSET");
        client.Message()->BuildMessage();
        EXPECT_FALSE(client.Send());
        EXPECT_EQ(client.LastError(),
                  L"Email fail (S): Invalid recipient address: it holds a control character");

        CSmtpClient sender;
        sender.SetServer(L"127.0.0.1");
        sender.SetSender(L"M", L"m@example.com\r\nRSET");
        sender.AddRecipients(L"ann@example.com");
        EXPECT_FALSE(sender.Send());
        EXPECT_EQ(sender.LastError(), L"Email fail (): Invalid sender address: it holds a control character");
    }
    EXPECT_FALSE(CSmtpClient::IsUsableAddress(L"ann@example.com\r\n"));
    EXPECT_FALSE(CSmtpClient::IsUsableAddress(L"ann.example.com"));
    EXPECT_FALSE(CSmtpClient::IsUsableAddress(L"ann@example\x7f.com"));
    EXPECT_TRUE(CSmtpClient::IsUsableAddress(L"ann@example.com"));

    SScript script;
    CScriptedSmtpServer server(script);
    ASSERT_TRUE(server.Start());
    CSmtpClient client;
    client.SetLimits(TestLimits());
    client.m_nPort = server.Port();
    client.SetServer(L"127.0.0.1");
    client.SetSender(L"Mon\r\nBcc: evil@example.com", L"monitor@example.com");
    client.SetSubject(L"Hello\r\nBcc: evil@example.com");
    client.AddRecipients(L"Ann\n <ann@example.com>");
    client.Message()->BuildMessage();
    EXPECT_TRUE(client.Send()) << client.LastError();
    server.Stop();
    const std::string& szData = server.Data();
    EXPECT_EQ(szData.find("\nBcc:"), std::string::npos);
    EXPECT_NE(szData.find("Subject: HelloBcc: evil@example.com\r\n"), std::string::npos);
    EXPECT_NE(szData.find("From: \"MonBcc: evil@example.com\" <monitor@example.com>\r\n"), std::string::npos);
    EXPECT_NE(szData.find("To: Ann <ann@example.com>\r\n"), std::string::npos);
}

} // namespace
