// MIME composition: header lines, recipients, wrapping, dates, attachments and the part layout.
#include "mail/CBase64.h"
#include "mail/CMIMEMessage.h"
#include "mail/CTextPlain.h"
#include "mail/MailText.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace
{

std::vector<std::string> Lines(const std::string& szText)
{
    std::vector<std::string> vLines;
    size_t nStart = 0;
    size_t nEnd;
    while ((nEnd = szText.find("\r\n", nStart)) != std::string::npos)
    {
        vLines.push_back(szText.substr(nStart, nEnd - nStart));
        nStart = nEnd + 2;
    }
    if (nStart < szText.size())
        vLines.push_back(szText.substr(nStart));
    return vLines;
}

std::string Repeat(const std::string& sz, int n)
{
    std::string szResult;
    for (int i = 0; i < n; ++i)
        szResult += sz;
    return szResult;
}

// A temporary directory that writes files and returns their paths.
class CMimeFiles : public CTempDir
{
public:
    std::string Write(const std::string& szName, const std::string& szData) const
    {
        EXPECT_TRUE(tests::WriteFile(Path() / szName, szData)) << szName;
        return Native(szName);
    }
};

TEST(MimeComposition, TextOnlyMessageHasNoMultipart)
{
    CMIMEMessage message;
    message.m_szFromName = "\"Monitor\"";
    message.m_szFrom = "monitor@example.com";
    message.m_szSubject = "Hello";
    message.AddRecipientList("Ann <ann@example.com>;bob@example.com;", CRecipient::kTo);
    message.AppendRecipient("carl@example.com", "", CRecipient::kCc);
    message.AppendRecipient("dora@example.com", "", CRecipient::kBcc);
    message.m_szBody = "line one\r\n\r\n";
    message.BuildMessage();

    const std::vector<std::string> vHeader = Lines(message.m_szHeader);
    ASSERT_EQ(vHeader.size(), 7u);
    EXPECT_EQ(vHeader[0], "From: \"Monitor\" <monitor@example.com>");
    EXPECT_EQ(vHeader[1], "To: Ann <ann@example.com>,<bob@example.com>");
    EXPECT_EQ(vHeader[2], "Cc: <carl@example.com>");
    EXPECT_EQ(vHeader[3].rfind("Date: ", 0), 0u);
    EXPECT_EQ(vHeader[4], "Subject: Hello");
    EXPECT_EQ(vHeader[5], "X-Mailer: ZEB Mailer");
    EXPECT_EQ(vHeader[6], "MIME-Version: 1.0");
    EXPECT_EQ(message.m_szHeader.find("dora"), std::string::npos) << "Bcc is in no header line";
    EXPECT_EQ(message.m_szBody,
              "Content-Type: text/plain;\r\n\tcharset=\"utf-8\"\r\nContent-Transfer-Encoding: "
              "7Bit\r\n\r\nline one\r\n\r\n");
}

TEST(MimeComposition, RecipientListPieces)
{
    CMailMessage message;
    EXPECT_TRUE(message.AddRecipientList("Ann Lee <ann@example.com>;bob@example.com;", CRecipient::kTo));
    ASSERT_EQ(message.RecipientCount(), 2);
    std::string szAddress, szName;
    int nKind = -1;
    ASSERT_TRUE(message.RecipientAt(0, szAddress, szName, nKind));
    EXPECT_EQ(szName, "Ann Lee ");
    EXPECT_EQ(szAddress, "ann@example.com");
    ASSERT_TRUE(message.RecipientAt(1, szAddress, szName, nKind));
    EXPECT_EQ(szName, "");
    EXPECT_EQ(szAddress, "bob@example.com");
    EXPECT_FALSE(message.RecipientAt(2, szAddress, szName, nKind));

    // ">" before "<" stops at that piece; the pieces before it stay.
    EXPECT_FALSE(
        message.AddRecipientList("carl@example.com;x> <y@example.com;z@example.com", CRecipient::kCc));
    EXPECT_EQ(message.RecipientCount(), 3);
    // Without ">" the address runs to the end of the piece.
    EXPECT_TRUE(message.AddRecipientList("Dora <dora@example.com", CRecipient::kTo));
    ASSERT_TRUE(message.RecipientAt(3, szAddress, szName, nKind));
    EXPECT_EQ(szAddress, "dora@example.com");
}

TEST(MimeComposition, WrapBreaksLongLinesAtTheirLastBlank)
{
    std::string szLine;
    while (szLine.size() < 100)
        szLine += "word ";
    szLine.resize(100);
    const std::vector<std::string> vLines = Lines(CTextPlain::WrapText(szLine, 76));
    ASSERT_EQ(vLines.size(), 2u);
    EXPECT_EQ(vLines[0], szLine.substr(0, 74)); // "word" * 15 less the blank at 74
    EXPECT_EQ(vLines[1], szLine.substr(75));
    EXPECT_EQ(vLines[0] + " " + vLines[1], szLine);

    // A long line without blanks stays whole, and a break never reaches back into an earlier line.
    const std::string szPath = "/" + std::string(120, 'p');
    EXPECT_EQ(CTextPlain::WrapText("short line\r\n" + szPath, 76), "short line\r\n" + szPath);
    EXPECT_EQ(CTextPlain::WrapText("a b\n" + std::string(80, 'q'), 76), "a b\n" + std::string(80, 'q'));
}

TEST(MimeComposition, HeaderTextBeyondAsciiBecomesShortEncodedWords)
{
    EXPECT_EQ(EncodeHeaderText("Plain subject"), "Plain subject");
    EXPECT_EQ(EncodeHeaderText("\xC3\xA4"), "=?utf-8?B?w6Q=?=");
    std::string szLong;
    for (int i = 0; i < 40; ++i)
        szLong += "\xE2\x82\xAC"; // 40 three-byte characters: never cut inside one
    const std::vector<std::string> vWords = Lines(EncodeHeaderText(szLong));
    ASSERT_GT(vWords.size(), 1u);
    for (size_t i = 0; i < vWords.size(); ++i)
    {
        const std::string szWord =
            i == 0 ? vWords[i] : vWords[i].substr(1); // folded lines start with a blank
        EXPECT_LE(szWord.size(), 75u);
        EXPECT_EQ(szWord.rfind("=?utf-8?B?", 0), 0u);
        EXPECT_EQ(szWord.substr(szWord.size() - 2), "?=");
        CBase64 decoder;
        std::vector<uint8_t> vBytes;
        const int nBytes = decoder.Decode(szWord.substr(10, szWord.size() - 12), vBytes);
        EXPECT_EQ(nBytes % 3, 0) << "word " << i << " splits a character";
    }
    EXPECT_EQ(HeaderDisplayName("\"J\xC3\xBCrgen \\\"Q\\\"\""),
              EncodeHeaderText("J\xC3\xBCrgen \"Q\"") + " ");
    EXPECT_EQ(HeaderDisplayName("\"Ann\""), "\"Ann\"");
    EXPECT_EQ(MimeParameter("filename", "a b.txt"), "filename=\"a b.txt\"");
    EXPECT_EQ(MimeParameter("filename", "M\xC3\xA4rz 1.txt"), "filename*=utf-8''M%C3%A4rz%201.txt");
}

TEST(MimeComposition, DateHeaderValue)
{
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 7;
    tm.tm_wday = 1;
    tm.tm_hour = 10;
    tm.tm_min = 24;
    tm.tm_sec = 58;
    EXPECT_EQ(FormatMailDate(tm, 120), "Mon, 07 Dec 2026 10:24:58 +0200");
    EXPECT_EQ(FormatMailDate(tm, 330), "Mon, 07 Dec 2026 10:24:58 +0530");
    EXPECT_EQ(FormatMailDate(tm, -210), "Mon, 07 Dec 2026 10:24:58 -0330");
    EXPECT_EQ(FormatMailDate(tm, 0), "Mon, 07 Dec 2026 10:24:58 +0000");
}

TEST(MimeComposition, ReportLayoutWithAttachments)
{
    CMimeFiles dir;
    const std::string szFile54 = dir.Write("report.txt", std::string(54, 'A'));
    const std::string szFile55 = dir.Write("My Invoice.txt", std::string(55, 'B'));
    CMIMEMessage message;
    message.m_szFrom = "monitor@example.com";
    message.m_szBody = "Waiting for document failed.\r\n\r\n";
    message.AddPart(true, szFile54, CMIMEPart::kAttachment, CMIMEPart::kEncodingBase64);
    message.AddPart(true, szFile55, CMIMEPart::kAttachment, CMIMEPart::kEncodingBase64);
    message.AddPart(true, dir.Write("gone.txt", "") + ".missing", CMIMEPart::kAttachment,
                    CMIMEPart::kEncodingBase64);
    message.BuildMessage();

    const std::string kDelimiter = "--_0_.__.__ZEB__Mailer__Part_Boundary_";
    const std::vector<std::string> vExpected = {
        "Content-Type: multipart/mixed;",
        "\tboundary=_0_.__.__ZEB__Mailer__Part_Boundary_",
        "",
        "This is a multi-part message in MIME format.",
        "",
        "",
        kDelimiter,
        "Content-Type: text/plain;",
        "\tcharset=\"utf-8\"",
        "Content-Transfer-Encoding: 7Bit",
        "",
        "Waiting for document failed.",
        "",
        "",
        kDelimiter,
        "Content-Type: application/octet-stream; file=report.txt",
        "Content-Transfer-Encoding: base64",
        "Content-Disposition: attachment; filename=report.txt",
        "",
        Repeat("QUFB", 18),
        "",
        "",
        kDelimiter,
        "Content-Type: application/octet-stream; file=\"My Invoice.txt\"",
        "Content-Transfer-Encoding: base64",
        "Content-Disposition: attachment; filename=\"My Invoice.txt\"",
        "",
        Repeat("QkJC", 18),
        "Qg==",
        "",
        "",
        kDelimiter,
        "Content-Type: application/octet-stream; file=gone.txt.missing",
        "Content-Transfer-Encoding: base64",
        "Content-Disposition: attachment; filename=gone.txt.missing",
        "",
        kDelimiter + "--",
    };
    const std::vector<std::string> vLines = Lines(message.m_szBody);
    ASSERT_EQ(vLines.size(), vExpected.size()) << message.m_szBody;
    for (size_t i = 0; i < vLines.size(); ++i)
        EXPECT_EQ(vLines[i], vExpected[i]) << "line " << i;
}

} // namespace
