// A file opened for appending whole records: every Append is one write at the end of the file, so
// that records of concurrent threads and processes never interleave. The file is shared with other
// readers and writers.
//
// On Linux: open(O_WRONLY | O_APPEND | O_CREAT), one write(), fstat for the size, flock for the
// rotation lock. Windows would use FILE_APPEND_DATA with full sharing and LockFileEx.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform
{

class CAppendFile
{
public:
    CAppendFile();
    virtual ~CAppendFile();
    CAppendFile(const CAppendFile&) = delete;
    CAppendFile& operator=(const CAppendFile&) = delete;

    // Opens the file for appending, creating it when missing (mode 0666 less the umask). False with
    // the last error set.
    bool Open(const std::wstring& szPath);
    bool IsOpen() const;
    // Appends the bytes with a single write; false (last error set) when it failed or was short.
    bool Append(const void* pData, size_t nSize);
    // The file's current size; false with the last error set.
    bool GetSize(uint64_t& nSize) const;
    // Takes an exclusive lock on the open file, waiting for other holders; released by Close.
    bool Lock();
    // Whether szPath still names the open file (it was not renamed or replaced meanwhile).
    bool IsAt(const std::wstring& szPath) const;
    void Close();

private:
    struct SState;
    std::unique_ptr<SState> m_pState;
};

} // namespace platform
