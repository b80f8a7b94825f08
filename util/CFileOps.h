// File and path operations shared by the whole service: deleting, moving and copying files and
// trees, creating directories, path queries, copy names and file-name checks.
//
// The operations that change the file system throw CFExeption by pointer (the catcher deletes it);
// queries and CopyTo never throw. Each caller uses its own CFileOps object; the object keeps the
// last error of CopyTo and the read-only prompt settings. Paths use platform::kPathSeparator.
#pragma once

#include "util/CFExeption.h"
#include "util/ProgramPaths.h"

#include <cstdint>
#include <string>

// Result codes of CFileOps::ValidateFileName.
enum : int
{
    kFileNameValid = 0,
    kFileNameEmptyOrTooLong = -1,
    kFileNameDeviceFirst = -2, // CLOCK$
    kFileNameDeviceLast = -24, // LPT9
};

// The parts of a path: folder (everything up to and including the last separator), name, and
// extension (from the last dot of the file name on, the dot included).
struct SPathParts
{
    std::wstring m_szFolder;
    std::wstring m_szName;
    std::wstring m_szExtension;
};

namespace platform
{
class COpenDirectory;
struct SEntryInfo;
} // namespace platform

class CFileOps
{
public:
    CFileOps() = default;
    virtual ~CFileOps() = default;

    // Deletes a file or a whole directory tree (depth first). A read-only file is deleted only as
    // ConfirmReadOnlyDelete allows; a kept file sets the kept flag and its directories stay, without
    // an exception. A missing path is nothing to delete (true). Symbolic links are deleted, never
    // followed. Throws CFExeption on failure and on a cancelled prompt (code 0).
    bool Delete(const std::wstring& szPath);

    // Deletes the file szName of an open folder, described by info (as it was opened just before):
    // a read-only one only as ConfirmReadOnlyDelete allows (the prompt names it; its attributes are
    // left alone, since removing a name does not need them cleared); a kept file sets the kept flag.
    // A folder there is refused and stays; a link is removed itself. Throws CFExeption on failure
    // and on a cancelled prompt (code 0).
    bool DeleteEntry(const platform::COpenDirectory& folder, const std::wstring& szName,
                     const platform::SEntryInfo& info);

    // Moves a file without replacing an existing target (across file systems by copying). Throws.
    bool Move(const std::wstring& szSource, const std::wstring& szTarget);

    // Creates the target's directory, then moves the file there, replacing an existing target only
    // when bOverwrite is set. Throws CFExeption on failure.
    bool MoveToDirectory(const std::wstring& szSource, const std::wstring& szTarget, bool bOverwrite);

    // Copies a file. With the overwrite flag off an existing target is never replaced: the copy goes
    // to the next free copy name (NextCopyName). With bDeleteSource the source is deleted after the
    // copy (Delete). Throws CFExeption on failure.
    bool Copy(const std::wstring& szSource, const std::wstring& szTarget, bool bDeleteSource);

    // Creates the target's folder and copies (Copy) with the given overwrite flag. Never throws:
    // false with the error text and code stored; true also when a read-only prompt was cancelled.
    bool CopyTo(const std::wstring& szSource, const std::wstring& szTarget, bool bOverwrite);

    // 2 when the path is a directory already, 0 when it and its missing parents were created.
    // Throws CFExeption on failure.
    int CreateDirectory(const std::wstring& szPath);

    // True when the path is a directory. Otherwise creates its folder part (up to the last
    // separator; throws on failure) and, with bHide, marks that folder hidden and system: then the
    // result says whether the attributes could be set.
    bool EnsureDirectory(const std::wstring& szPath, bool bHide);

    // Whether a file may be deleted: true for a file that is not read-only; for a read-only one asks
    // the user (when the ask flag is on) and clears the read-only attribute on Yes or without asking.
    // Cancel sets the kept flag and throws CFExeption made from number 0.
    bool ConfirmReadOnlyDelete(const std::wstring& szFile);

    const std::wstring& GetErrorText() const { return m_szErrorText; }
    uint32_t GetErrorCode() const { return m_nErrorCode; }
    bool GetAskReadOnly() const { return m_bAskReadOnly; }
    void SetAskReadOnly(bool bAsk) { m_bAskReadOnly = bAsk; }
    bool GetOverwrite() const { return m_bOverwrite; }
    void SetOverwrite(bool bOverwrite) { m_bOverwrite = bOverwrite; }
    // Set once a read-only file was kept or a prompt cancelled; stays set for the object's life.
    bool GetKept() const { return m_bKept; }

    // 0 missing (also in a missing directory), 1 file, 2 directory, -1 any other error.
    static int GetPathType(const std::wstring& szPath);
    // True when the path names an existing file (false for a directory and a missing path).
    static bool IsNotDirectory(const std::wstring& szPath);
    // The text after the last separator (the whole path when there is none).
    static std::wstring FileNameOf(const std::wstring& szPath);
    // The text after the last dot of the file name (empty when the name has no dot).
    static std::wstring ExtensionOf(const std::wstring& szPath);
    static SPathParts SplitPath(const std::wstring& szPath);
    // The path with a trailing separator; an empty path stays empty.
    static std::wstring AddTrailingBackslash(const std::wstring& szPath);
    // Size in bytes (low 32 bits); 0 when the file is not found.
    static uint32_t FileSize(const std::wstring& szPath);
    // Opens the file for writing, creating a missing file empty; an existing file keeps its content.
    static bool TouchFile(const std::wstring& szPath);
    // The next copy name: a.txt -> Copy of a.txt -> Copy (1) of a.txt -> Copy (2) of a.txt ...
    static std::wstring NextCopyName(const std::wstring& szPath);
    // Checks a file name without directory: 0 valid; the code of the first illegal character (46
    // for a name of dots only); -1 empty or longer than 255; -2..-24 a device name (CLOCK$, AUX,
    // CON, NUL, PRN, COM1..COM9, LPT1..LPT9).
    static int ValidateFileName(const std::wstring& szName);
    // The message for a ValidateFileName result; szName receives the device name for -2..-24 and
    // "Error" for results without a message (0, below -24).
    static std::wstring FileNameErrorText(int nResult, std::wstring& szName);

private:
    std::wstring m_szErrorText = L"No error";
    uint32_t m_nErrorCode = 0;
    bool m_bAskReadOnly = true;
    bool m_bOverwrite = false;
    bool m_bKept = false;
};
