// Follows a log file that another process appends to and now and then replaces (rotation): each
// Read returns the lines added since the previous one. Free of Qt; POSIX file calls.
#pragma once

#include "standins/logvista/SLogRecord.h"

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

class CLogTail
{
public:
    explicit CLogTail(std::string szPath);

    // Reads the bytes appended since the last successful read and parses every complete line
    // into records (in file order). When the path now names another file than before (the log was
    // rotated or replaced) or the file shrank, reading starts again from its start and bRestarted
    // is set: the caller then drops what it has shown. The incomplete last line, if any, is kept
    // in PendingLine() until its line end arrives. Returns false, with LastError() saying why,
    // when the path cannot be read (missing, a directory, a device or pipe, no permission); what
    // was read before stays valid and the next Read tries again.
    bool Read(std::vector<SLogRecord>& records, bool& bRestarted);

    // The bytes after the last line end: a record still being written, or a last line without
    // a line end.
    const std::string& PendingLine() const { return m_szPending; }
    const std::string& LastError() const { return m_szError; }
    const std::string& Path() const { return m_szPath; }

private:
    std::string m_szPath;
    std::string m_szPending;
    std::string m_szError;
    bool m_bKnown = false;
    dev_t m_nDevice = 0;
    ino_t m_nInode = 0;
    uint64_t m_nOffset = 0;
};
