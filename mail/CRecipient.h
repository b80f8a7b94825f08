// One recipient of a mail: its kind, address and display name.
#pragma once

#include <string>

class CRecipient
{
public:
    enum EKind : int
    {
        kTo = 0,
        kCc = 1,
        kBcc = 2,
    };

    int m_nKind = kTo;
    std::string m_szAddress; // UTF-8
    std::string m_szName;    // UTF-8, may be empty; written in front of the address as it stands
};
