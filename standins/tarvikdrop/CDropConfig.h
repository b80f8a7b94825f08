// The settings of tarvikdrop: where control files go, where documents must lie, the domain of the
// reply addresses and the log. Read from a small text file of "Key = value" lines ('#' starts a
// comment line):
//
//     Incoming = /var/spool/veltrane/in
//     Documents = /var/spool/veltrane/pdf
//     Domain = example.com
//     Log = /var/lib/tarvik-printer/postprocess.log      (optional)
#pragma once

#include <string>
#include <sys/types.h>

class CDropConfig
{
public:
    // The file that the installed program reads.
    static constexpr const char* kDefaultPath = "/etc/opt/tarvik/printdrop.conf";
    // Longest configuration file accepted.
    static constexpr size_t kMaxSize = 64 * 1024;

    // Reads the file at szPath without following a link in any component. It must be a regular file
    // with one link, owned by root or by nAlsoOwner (pass 0 for root only), and writable by nobody
    // but its owner. False with a message in szError for any of that, for a file that is too long,
    // for an unknown or repeated key, and for a missing or malformed value.
    bool Load(const std::string& szPath, uid_t nAlsoOwner, std::string& szError);

    // Parses the text of a configuration file (see Load).
    bool Parse(const std::string& szText, std::string& szError);

    const std::string& Incoming() const { return m_szIncoming; }
    const std::string& Documents() const { return m_szDocuments; }
    const std::string& Domain() const { return m_szDomain; }
    const std::string& Log() const { return m_szLog; } // empty: no log

    // True for a domain name of letters, digits, '-' and '.', with at least one dot, that an address
    // can end with.
    static bool IsDomain(const std::string& szDomain);

private:
    std::string m_szIncoming;
    std::string m_szDocuments;
    std::string m_szDomain;
    std::string m_szLog;
};
