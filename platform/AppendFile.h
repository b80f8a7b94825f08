// A file opened for appending whole records: every Append is one write at the end of the file, so
// that records of concurrent threads and processes never interleave. The file is shared with other
// readers and writers.
//
// The file is a data-folder file (DataFile.h): a link under its name is not followed, and a file that
// is not regular or has more than one link is refused. A new file is 0640: the owner writes, its group
// reads (a member's viewer), others nothing.
//
// On Linux: open(O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW, 0640) checked with fstat, one write(),
// fstat for the size, flock for the rotation lock. Windows would use FILE_APPEND_DATA with full sharing
// and LockFileEx with LOCKFILE_FAIL_IMMEDIATELY.
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

    // Opens the file for appending, creating it when missing (mode 0640 less the umask). False with
    // the last error set: 5 also when the name is a link, not a regular file, or a file with more
    // than one link.
    bool Open(const std::wstring& szPath);
    bool IsOpen() const;
    // Appends the bytes with a single write; false (last error set) when it failed or was short.
    bool Append(const void* pData, size_t nSize);
    // The file's current size; false with the last error set.
    bool GetSize(uint64_t& nSize) const;
    // Takes an exclusive lock on the open file, trying again for at most nTimeoutMs while another
    // holder (of any process) keeps it; released by Close. False with the last error 33 (lock
    // violation) when the time ran out: the caller goes on without the lock, it never hangs.
    bool TryLock(uint32_t nTimeoutMs);
    // Whether szPath still names the open file itself (it was not renamed or replaced meanwhile; a
    // link under the name does not count).
    bool IsAt(const std::wstring& szPath) const;
    void Close();

private:
    struct SState;
    std::unique_ptr<SState> m_pState;
};

} // namespace platform
