// Test helper: an SMTP server on loopback whose every answer the test chooses, for the dialogue's
// failure paths (wrong codes, silence, a closed connection, replies split over several sends).
// It serves one connection on its own thread and records the commands and the DATA bytes.
#pragma once

#include "tests/support/CLoopbackListener.h"

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

class CScriptedSmtpServer
{
public:
    struct SScript
    {
        // The greeting, as separate sends; empty: the server never says anything.
        std::vector<std::string> m_vGreeting = {"220 scripted.test ESMTP\r\n"};
        // Replies by command word (HELO, MAIL, RCPT, DATA, QUIT), one per use, the last repeated;
        // each reply is a list of separate sends. An empty reply makes the server fall silent.
        std::map<std::string, std::vector<std::vector<std::string>>> m_replies;
        std::vector<std::string> m_vDataEndReply = {"250 2.0.0 queued\r\n"};
        bool m_bCloseDuringData = false; // close the connection once the first data bytes came
    };

    explicit CScriptedSmtpServer(SScript script) : m_script(std::move(script)) {}
    ~CScriptedSmtpServer() { Stop(); }

    bool Start()
    {
        if (!m_listener.Listen("127.0.0.1"))
            return false;
        m_thread = std::thread([this] { Serve(); });
        return true;
    }

    // Ends the serving thread (it stops at once when silent); afterwards the records are stable.
    void Stop()
    {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    int Port() const { return m_listener.Port(); }
    // Valid after Stop.
    const std::vector<std::string>& Commands() const { return m_vCommands; }
    const std::string& Data() const { return m_szData; }

private:
    std::vector<std::string> ReplyFor(const std::string& szWord)
    {
        static const std::map<std::string, std::string> kDefaults = {
            {"HELO", "250 scripted.test\r\n"},
            {"EHLO", "250 scripted.test\r\n"},
            {"MAIL", "250 2.1.0 Ok\r\n"},
            {"RCPT", "250 2.1.5 Ok\r\n"},
            {"DATA", "354 End data with <CR><LF>.<CR><LF>\r\n"},
            {"QUIT", "221 2.0.0 Bye\r\n"}};
        auto it = m_script.m_replies.find(szWord);
        if (it != m_script.m_replies.end() && !it->second.empty())
        {
            const size_t nUse = m_uses[szWord]++;
            return it->second[std::min(nUse, it->second.size() - 1)];
        }
        auto itDefault = kDefaults.find(szWord);
        return {itDefault != kDefaults.end() ? itDefault->second : "500 5.5.2 Unknown command\r\n"};
    }

    // Sends the pieces one by one; false when the reply is empty (the server falls silent).
    bool Answer(int hPeer, const std::vector<std::string>& vPieces)
    {
        if (vPieces.empty())
            return false;
        for (size_t i = 0; i < vPieces.size(); ++i)
        {
            if (i > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(30)); // let the pieces travel apart
            CLoopbackListener::SendAll(hPeer, vPieces[i]);
        }
        return true;
    }

    void Serve()
    {
        int hPeer = -1;
        while (hPeer < 0 && !m_bStop)
            hPeer = m_listener.Accept(100);
        if (hPeer < 0)
            return;
        bool bSilent = !Answer(hPeer, m_script.m_vGreeting);
        bool bInData = false;
        std::string szInput;
        while (!m_bStop)
        {
            bool bClosed = false;
            szInput += CLoopbackListener::ReceiveSome(hPeer, 100, bClosed);
            if (bClosed)
                break;
            if (bSilent)
            {
                szInput.clear();
                continue;
            }
            if (bInData)
            {
                if (m_script.m_bCloseDuringData && !szInput.empty())
                    break;
                const size_t nEnd = szInput.find("\r\n.\r\n");
                if (nEnd == std::string::npos)
                    continue;
                m_szData = szInput.substr(0, nEnd + 5);
                szInput.erase(0, nEnd + 5);
                bInData = false;
                bSilent = !Answer(hPeer, m_script.m_vDataEndReply);
                continue;
            }
            size_t nLf;
            while (!bInData && !bSilent && (nLf = szInput.find("\r\n")) != std::string::npos)
            {
                const std::string szLine = szInput.substr(0, nLf);
                szInput.erase(0, nLf + 2);
                m_vCommands.push_back(szLine);
                std::string szWord = szLine.substr(0, szLine.find_first_of(" :"));
                for (char& c : szWord)
                    c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
                const std::vector<std::string> vReply = ReplyFor(szWord);
                bSilent = !Answer(hPeer, vReply);
                if (!bSilent && szWord == "DATA" && vReply.front().rfind("354", 0) == 0)
                    bInData = true;
            }
            if (bInData && m_script.m_bCloseDuringData && !szInput.empty())
                break;
        }
        CLoopbackListener::CloseSocket(hPeer);
    }

    SScript m_script;
    CLoopbackListener m_listener;
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    std::map<std::string, size_t> m_uses;
    std::vector<std::string> m_vCommands;
    std::string m_szData;
};
