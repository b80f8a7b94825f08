// Time limits of the SMTP dialogue, kept in one place.
//
// Every network step of a mail has a bound so that the thread that sends it (the monitor thread
// for failure reports) never waits for ever on a silent server. The reply limits are the minimums
// that RFC 5321 section 4.5.3.2 asks a client to wait; connecting gets a much shorter bound.
#pragma once

#include <cstdint>

struct SSmtpLimits
{
    uint32_t m_nConnectMs = 30 * 1000;       // TCP connection set-up, per address tried
    uint32_t m_nGreetingMs = 5 * 60 * 1000;  // the 220 greeting
    uint32_t m_nCommandMs = 5 * 60 * 1000;   // replies to HELO, MAIL, RCPT and QUIT
    uint32_t m_nDataStartMs = 2 * 60 * 1000; // the 354 reply to DATA
    uint32_t m_nDataBlockMs = 3 * 60 * 1000; // each send of commands or message data
    uint32_t m_nDataEndMs = 10 * 60 * 1000;  // the reply after the final dot
};

inline constexpr SSmtpLimits kSmtpLimits{};
