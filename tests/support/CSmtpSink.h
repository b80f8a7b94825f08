// Test helper: a real SMTP server on loopback (tests/support/smtp_sink.py, Debian's aiosmtpd) that
// a test starts, sends mail to, and reads back. Under Wine the Linux interpreter runs it (see
// CTestProcess); on Windows itself a Python with aiosmtpd on PATH.
//
//     CSmtpSink sink;                       // makes its own temporary directory
//     ASSERT_TRUE(sink.Start()) << sink.Error();
//     client.SetServer(L"127.0.0.1"); client.m_nPort = sink.Port(); ... client.Send();
//     ASSERT_TRUE(sink.WaitForMessages(1)) << sink.Error();
//     CSmtpSink::SMessage msg = sink.Read(1);  // raw DATA bytes, envelope sender and recipients
//     // An independent reading by Python's email package (tests/support/parse_mail.py):
//     std::map<std::string, std::string> facts = CSmtpSink::ParseMail(msg.m_szEmlPath, partsDir);
//     EXPECT_EQ(facts["defects"], "0"); EXPECT_EQ(facts["subject"], "..."); facts["part.1.file"] ...
//
// The destructor stops the server (SIGTERM, then SIGKILL if it does not end) and removes the
// directory. Header-only; needs TARVIK_SOURCE_DIR (every test target has it). One thread only.
#pragma once

#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Wine.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

class CSmtpSink
{
public:
    struct SMessage
    {
        std::string m_szRaw;                 // the DATA bytes as the server stored them
        std::string m_szMailFrom;            // envelope sender (MAIL FROM)
        std::vector<std::string> m_vRcptTos; // envelope recipients accepted by the server
        std::string m_szHelo;                // the name the client gave in HELO/EHLO
        std::string m_szEmlPath;             // path of the stored .eml file
    };

    CSmtpSink() : m_dir("smtp"), m_szDir(m_dir.Native()) {}
    ~CSmtpSink() { Stop(); }
    CSmtpSink(const CSmtpSink&) = delete;
    CSmtpSink& operator=(const CSmtpSink&) = delete;

    // Starts the server on the host (an IPv4 or IPv6 loopback address) and a free port; waits until
    // it accepts connections. False (see Error) when it does not come up within the time-out.
    bool Start(const std::string& szHost = "127.0.0.1",
               std::chrono::milliseconds timeout = std::chrono::seconds(60))
    {
        m_szHost = szHost;
        const std::string szScript = std::string(TARVIK_SOURCE_DIR) + "/tests/support/smtp_sink.py";
        const std::string szPortFile = m_szDir + "/port";
        // The folders as the interpreter sees them (under Wine it is a Linux program).
        if (!m_server.Start({tests::PythonProgram(), szScript, "--host", szHost, "--port", "0", "--maildir",
                             HostPath(MailDir()), "--port-file", HostPath(szPortFile)}))
            return Fail(m_server.Error());
        bool bEnded = false;
        const bool bReady = tests::WaitUntil(
            [&]()
            {
                std::ifstream file(szPortFile);
                if (file >> m_nPort && m_nPort > 0)
                    return true;
                int nResult = 0;
                bEnded = m_server.WaitFor(0, nResult);
                return bEnded;
            },
            timeout);
        if (bReady && !bEnded)
            return true;
        Stop();
        return Fail(bEnded ? "smtp_sink.py ended before it was ready"
                           : "smtp_sink.py did not become ready in time");
    }

    // Stops the server; waits for it to end. Messages stay readable.
    void Stop()
    {
        if (!m_server.Running())
            return;
        m_server.Signal(SIGTERM);
        int nResult = 0;
        if (!m_server.WaitFor(20000, nResult))
        {
            m_server.Kill();
            m_server.Wait();
        }
    }

    int Port() const { return m_nPort; }
    const std::string& Host() const { return m_szHost; }
    const std::string& Directory() const { return m_szDir; }
    std::string MailDir() const { return m_szDir + "/mail"; }
    const std::string& Error() const { return m_szError; }

    // Number of messages stored so far.
    int Count() const
    {
        int n = 0;
        while (std::filesystem::exists(MetaPath(n + 1)))
            ++n;
        return n;
    }

    // Waits until at least n messages are stored; false after the time-out.
    bool WaitForMessages(int n, std::chrono::milliseconds timeout = std::chrono::seconds(60))
    {
        return tests::WaitUntil([&]() { return Count() >= n; }, timeout) ||
               Fail("fewer messages arrived than awaited");
    }

    // Message n (1-based), as stored; empty fields when it is not there.
    SMessage Read(int n) const
    {
        SMessage msg;
        msg.m_szEmlPath = MailDir() + "/" + std::to_string(n) + ".eml";
        msg.m_szRaw = ReadFile(msg.m_szEmlPath);
        const std::string szMeta = ReadFile(MetaPath(n));
        msg.m_szMailFrom = JsonString(szMeta, "mail_from");
        msg.m_szHelo = JsonString(szMeta, "helo");
        size_t nPos = szMeta.find("\"rcpt_tos\"");
        if (nPos != std::string::npos)
        {
            nPos = szMeta.find('[', nPos);
            const size_t nEnd = szMeta.find(']', nPos);
            while (nPos != std::string::npos && nPos < nEnd)
            {
                nPos = szMeta.find('"', nPos + 1);
                if (nPos == std::string::npos || nPos > nEnd)
                    break;
                std::string szValue;
                nPos = ParseJsonString(szMeta, nPos, szValue);
                msg.m_vRcptTos.push_back(szValue);
            }
        }
        return msg;
    }

    static std::string ReadFile(const std::string& szPath) { return tests::ReadFile(szPath); }

    // Reads the JSON string that starts with the quote at nPos into szOut (UTF-8); returns the
    // index of its closing quote.
    static size_t ParseJsonString(const std::string& sz, size_t nPos, std::string& szOut)
    {
        for (size_t i = nPos + 1; i < sz.size(); ++i)
        {
            const char c = sz[i];
            if (c == '"')
                return i;
            if (c == '\\' && i + 1 < sz.size())
            {
                const char e = sz[++i];
                if (e == 'u' && i + 4 < sz.size())
                {
                    unsigned long nCode = std::stoul(sz.substr(i + 1, 4), nullptr, 16);
                    i += 4;
                    // A surrogate pair "\uD8xx\uDCxx" stands for one character beyond 0xFFFF.
                    if (nCode >= 0xD800 && nCode < 0xDC00 && i + 6 < sz.size() && sz[i + 1] == '\\' &&
                        sz[i + 2] == 'u')
                    {
                        const unsigned long nLow = std::stoul(sz.substr(i + 3, 4), nullptr, 16);
                        nCode = 0x10000 + ((nCode - 0xD800) << 10) + (nLow - 0xDC00);
                        i += 6;
                    }
                    AppendUtf8(szOut, nCode);
                }
                else
                    szOut += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
            }
            else
                szOut += c;
        }
        return sz.size();
    }

    // Reads the stored mail with Python's email package (tests/support/parse_mail.py) and returns
    // its facts by key ("subject", "from.0.addr", "part.1.file", "defects", ...). With a directory,
    // the decoded parts are written there as <n>.bin. Empty when the reader fails.
    static std::map<std::string, std::string> ParseMail(const std::string& szEmlPath,
                                                        const std::string& szExtractDir = std::string())
    {
        std::map<std::string, std::string> facts;
        std::vector<std::string> args = {tests::PythonProgram(),
                                         std::string(TARVIK_SOURCE_DIR) + "/tests/support/parse_mail.py",
                                         HostPath(szEmlPath)};
        if (!szExtractDir.empty())
            args.insert(args.end(), {"--extract", HostPath(szExtractDir)});
        int nResult = -1;
        const std::string szOutput = CTestProcess::Output(args, &nResult);
        if (nResult != 0)
            return {};
        std::istringstream lines(szOutput);
        std::string szLine;
        while (std::getline(lines, szLine))
        {
            const size_t nTab = szLine.find('\t');
            if (nTab == std::string::npos || nTab + 1 >= szLine.size() || szLine[nTab + 1] != '"')
                continue;
            std::string szValue;
            ParseJsonString(szLine, nTab + 1, szValue);
            facts[szLine.substr(0, nTab)] = szValue;
        }
        return facts;
    }

private:
    static void AppendUtf8(std::string& szOut, unsigned long nCode)
    {
        if (nCode < 0x80)
            szOut += static_cast<char>(nCode);
        else if (nCode < 0x800)
        {
            szOut += static_cast<char>(0xC0 | (nCode >> 6));
            szOut += static_cast<char>(0x80 | (nCode & 0x3F));
        }
        else if (nCode < 0x10000)
        {
            szOut += static_cast<char>(0xE0 | (nCode >> 12));
            szOut += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
            szOut += static_cast<char>(0x80 | (nCode & 0x3F));
        }
        else
        {
            szOut += static_cast<char>(0xF0 | (nCode >> 18));
            szOut += static_cast<char>(0x80 | ((nCode >> 12) & 0x3F));
            szOut += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
            szOut += static_cast<char>(0x80 | (nCode & 0x3F));
        }
    }

    std::string MetaPath(int n) const { return MailDir() + "/" + std::to_string(n) + ".json"; }

    bool Fail(const std::string& szError)
    {
        m_szError = szError;
        return false;
    }

    static std::string JsonString(const std::string& szJson, const std::string& szKey)
    {
        size_t nPos = szJson.find("\"" + szKey + "\"");
        if (nPos == std::string::npos)
            return {};
        nPos = szJson.find(':', nPos);
        nPos = szJson.find_first_not_of(" ", nPos + 1);
        std::string szValue;
        if (nPos != std::string::npos && szJson[nPos] == '"')
            ParseJsonString(szJson, nPos, szValue);
        return szValue;
    }

    CTempDir m_dir;
    std::string m_szDir;
    std::string m_szHost;
    std::string m_szError;
    CTestProcess m_server;
    int m_nPort = 0;
};
