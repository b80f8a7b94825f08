// Delivery to a real SMTP server on loopback (aiosmtpd), read back with Python's email package:
// report-like mails with attachments of several sizes and names, and a test-like mail.
#include "mail/CMIMEMessage.h"
#include "mail/CSmtpClient.h"
#include "platform/Encoding.h"
#include "tests/support/CSmtpSink.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace
{

class SmtpDelivery : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pSink = new CSmtpSink();
        ASSERT_TRUE(s_pSink->Start()) << s_pSink->Error();
    }
    static void TearDownTestSuite()
    {
        delete s_pSink;
        s_pSink = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(s_pSink, nullptr);
        m_dir = std::filesystem::path(s_pSink->Directory()) /
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(m_dir);
    }

    // Sends through the client and returns the stored message's facts as the Python reader sees
    // them; the decoded parts lie in the test's directory.
    std::map<std::string, std::string> Deliver(CSmtpClient& client, CSmtpSink::SMessage& stored)
    {
        const int nBefore = s_pSink->Count();
        client.m_nPort = s_pSink->Port();
        client.SetServer(std::wstring(s_pSink->Host().begin(), s_pSink->Host().end()));
        client.Message()->BuildMessage();
        EXPECT_TRUE(client.Send()) << client.LastError();
        EXPECT_TRUE(s_pSink->WaitForMessages(nBefore + 1)) << s_pSink->Error();
        stored = s_pSink->Read(nBefore + 1);
        return CSmtpSink::ParseMail(stored.m_szEmlPath, (m_dir / "parts").string());
    }

    static CSmtpSink* s_pSink;
    std::filesystem::path m_dir;
};

CSmtpSink* SmtpDelivery::s_pSink = nullptr;

struct SAttachmentCase
{
    size_t m_nSize;
    const char* m_pszName;
};

void PrintTo(const SAttachmentCase& test, std::ostream* pStream)
{
    *pStream << test.m_nSize << " bytes named " << test.m_pszName;
}

class SmtpReportDelivery : public SmtpDelivery, public ::testing::WithParamInterface<SAttachmentCase>
{
};

TEST_P(SmtpReportDelivery, ReportArrivesWithTextAndAttachmentIntact)
{
    const SAttachmentCase& test = GetParam();
    std::string szData(test.m_nSize, '\0');
    for (size_t i = 0; i < szData.size(); ++i)
        szData[i] = static_cast<char>((i * 131 + i / 977) & 0xFF); // every byte value, CR, LF and "." too
    // The name is UTF-8 on every system (a narrow path is not UTF-8 for the C++ library on Windows).
    const std::filesystem::path path =
        m_dir / std::u8string(test.m_pszName, test.m_pszName + std::strlen(test.m_pszName));
    std::ofstream(path, std::ios::binary) << szData;

    const std::vector<std::wstring> vBody = {
        L"Waiting for document failed.",     L"Details:.", L"File: /var/spool/tarvik/My Invoice.pdf",
        L"RespondEmail: ops@example.com",    L".",         L"This is an automatically generated message.",
        L"Please don't reply to this e-mail"};
    std::wstring szBody;
    for (size_t i = 0; i < vBody.size(); ++i)
        szBody += vBody[i] + (i + 1 < vBody.size() ? L"\r\n" : L"");

    CSmtpClient client;
    client.SetSender(L"Tarvik Monitor", L"tarvik@example.com");
    client.SetSubject(L"Document monitoring report");
    client.AddRecipients(L"ops@example.com");
    client.AddBodyText(szBody);
    const std::u8string szUtf8Path = path.u8string();
    std::wstring szWidePath;
    ASSERT_TRUE(platform::MultiByteToWide(platform::kCodePageUtf8,
                                          std::string(szUtf8Path.begin(), szUtf8Path.end()), szWidePath));
    client.AddAttachment(szWidePath);
    CSmtpSink::SMessage stored;
    std::map<std::string, std::string> facts = Deliver(client, stored);

    EXPECT_EQ(stored.m_szMailFrom, "tarvik@example.com");
    EXPECT_EQ(stored.m_vRcptTos, std::vector<std::string>{"ops@example.com"});
    ASSERT_FALSE(facts.empty()) << "the Python reader failed";
    EXPECT_EQ(facts["defects"], "0") << facts["defect.0"];
    EXPECT_EQ(facts["from.0.name"], "Tarvik Monitor");
    EXPECT_EQ(facts["from.0.addr"], "tarvik@example.com");
    EXPECT_EQ(facts["to.0.addr"], "ops@example.com");
    EXPECT_EQ(facts.count("to.1.addr"), 0u);
    EXPECT_EQ(facts["subject"], "Document monitoring report");
    EXPECT_FALSE(facts["date"].empty());
    EXPECT_EQ(facts["content_type"], "multipart/mixed");
    ASSERT_EQ(facts["parts"], "2");

    EXPECT_EQ(facts["part.0.content_type"], "text/plain");
    for (size_t i = 0; i < vBody.size(); ++i)
        EXPECT_EQ(facts["part.0.line." + std::to_string(i)], std::string(vBody[i].begin(), vBody[i].end()));

    EXPECT_EQ(facts["part.1.filename"], test.m_pszName);
    EXPECT_EQ(facts["part.1.disposition"], "attachment");
    EXPECT_EQ(facts["part.1.size"], std::to_string(test.m_nSize));
    EXPECT_TRUE(CSmtpSink::ReadFile(facts["part.1.file"]) == szData) << "attachment bytes differ";
}

// A name beyond ASCII with quotes to escape in the headers; Windows allows no quote in a file name,
// so there it has parentheses instead.
#ifdef _WIN32
constexpr const char* kQuotedName = "Rechnung M\xC3\xA4rz (1).txt";
#else
constexpr const char* kQuotedName = "Rechnung M\xC3\xA4rz \"1\".txt";
#endif

INSTANTIATE_TEST_SUITE_P(
    Sizes, SmtpReportDelivery,
    ::testing::Values(SAttachmentCase{0, "empty.txt"}, SAttachmentCase{54, "line.txt"},
                      SAttachmentCase{55, "line-and-one.txt"}, SAttachmentCase{1024 * 1024, "large.bin"},
                      SAttachmentCase{700, "My Invoice.txt"}, SAttachmentCase{300, kQuotedName}),
    [](const ::testing::TestParamInfo<SAttachmentCase>& info)
    { return "Bytes" + std::to_string(info.param.m_nSize) + "Case" + std::to_string(info.index); });

TEST_F(SmtpDelivery, NamesAndSubjectBeyondAsciiArriveReadable)
{
    CSmtpClient client;
    client.SetSender(L"J\u00fcrgen M\u00fcller", L"jm@example.com");
    // Long enough to need several encoded words.
    const std::wstring szSubject = L"Bericht \u00fcber das Dokument \u2013 \u00e4\u00f6\u00fc\u00df "
                                   L"und noch viel mehr Text, damit es mehrere W\u00f6rter werden";
    client.SetSubject(szSubject);
    client.AddRecipients(L"Zo\u00eb <zoe@example.com>");
    client.AddBodyText(L"Gr\u00fc\u00dfe");
    CSmtpSink::SMessage stored;
    std::map<std::string, std::string> facts = Deliver(client, stored);
    ASSERT_FALSE(facts.empty());
    EXPECT_EQ(facts["defects"], "0") << facts["defect.0"];
    EXPECT_EQ(facts["from.0.name"], "J\xC3\xBCrgen M\xC3\xBCller");
    EXPECT_EQ(facts["to.0.name"], "Zo\xC3\xAB");
    EXPECT_EQ(facts["to.0.addr"], "zoe@example.com");
    EXPECT_EQ(facts["subject"], "Bericht \xC3\xBC"
                                "ber das Dokument \xE2\x80\x93 \xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F "
                                "und noch viel mehr Text, damit es mehrere W\xC3\xB6rter werden");
    EXPECT_EQ(facts["part.0.line.0"], "Gr\xC3\xBC\xC3\x9F"
                                      "e");
}

TEST_F(SmtpDelivery, TestMailToTwoRecipients)
{
    CSmtpClient client;
    client.SetSender(L"Settings Form", L"form@example.com");
    client.SetSubject(L"Veltrane document monitoring service test message");
    client.AddRecipients(L"ann@example.com; bob@example.com");
    client.AddBodyText(
        L"Hello,\r\nThis is an automatically generated by Veltrane document monitoring service "
        L"test message.\r\nThe message was delivered via SMTP: 127.0.0.1.\r\nPlease don't reply "
        L"to this e-mail");
    CSmtpSink::SMessage stored;
    std::map<std::string, std::string> facts = Deliver(client, stored);

    EXPECT_EQ(stored.m_vRcptTos, (std::vector<std::string>{"ann@example.com", "bob@example.com"}));
    EXPECT_FALSE(stored.m_szHelo.empty());
    ASSERT_FALSE(facts.empty());
    EXPECT_EQ(facts["defects"], "0") << facts["defect.0"];
    EXPECT_EQ(facts["from.0.name"], "Settings Form");
    EXPECT_EQ(facts["to.0.addr"], "ann@example.com");
    EXPECT_EQ(facts["to.1.addr"], "bob@example.com");
    EXPECT_EQ(facts["subject"], "Veltrane document monitoring service test message");
    EXPECT_EQ(facts["content_type"], "text/plain");
    EXPECT_EQ(facts["part.0.line.0"], "Hello,");
    // The long line is wrapped at a blank; joined again it is the line as sent.
    EXPECT_EQ(facts["part.0.line.1"] + " " + facts["part.0.line.2"],
              "This is an automatically generated by Veltrane document monitoring service test message.");
    EXPECT_EQ(facts["part.0.line.3"], "The message was delivered via SMTP: 127.0.0.1.");
    EXPECT_EQ(facts["part.0.line.4"], "Please don't reply to this e-mail");
}

TEST(SmtpDeliveryIpv6, MailReachesAServerOnIpv6Loopback)
{
    CSmtpSink sink;
    ASSERT_TRUE(sink.Start("::1")) << sink.Error();
    CSmtpClient client;
    client.m_nPort = sink.Port();
    client.SetServer(L"::1");
    client.SetSender(L"Monitor", L"monitor@example.com");
    client.SetSubject(L"Over IPv6");
    client.AddRecipients(L"ann@example.com");
    client.AddBodyText(L"Hello");
    client.Message()->BuildMessage();
    ASSERT_TRUE(client.Send()) << client.LastError();
    ASSERT_TRUE(sink.WaitForMessages(1)) << sink.Error();
    EXPECT_EQ(CSmtpSink::ParseMail(sink.Read(1).m_szEmlPath)["subject"], "Over IPv6");
}

} // namespace
