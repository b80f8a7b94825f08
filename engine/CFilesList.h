// The pending-files list: the validation records of the files that a directory search met, in the
// order in which they were first met, and the directory search that fills it.
#pragma once

#include <list>
#include <string>

#include "platform/FindFile.h"

class CDocInfo;
class CFileFindEx;
class IFileStatus;
class IFileValidatior;
class IFilesListFiller;

class CFilesList
{
public:
    // pStatus and pValidator are not owned and may be null; both must outlive the list.
    CFilesList(IFileStatus* pStatus = nullptr, IFileValidatior* pValidator = nullptr);
    // Deletes every record.
    virtual ~CFilesList();
    CFilesList(const CFilesList&) = delete;
    CFilesList& operator=(const CFilesList&) = delete;

    int Count() const { return static_cast<int>(m_records.size()); }

    // For the search's current entry: adds a new record (true), or checks the existing one with
    // nTimeout seconds and nInterval ms (the result of the check; true without a check when it has
    // passed already). The status listener hears of every new record and of every checked one.
    bool AddOrCheck(const CFileFindEx& entry, int nTimeout, int nInterval);
    // The same for the file szPath described by data.
    bool AddOrCheck(const std::wstring& szPath, const platform::SFindData& data, int nTimeout, int nInterval);

    // Whether anyone reads more of a record than its path: a list with a validator or a status
    // listener. A search describes the files it meets (size, times) only for such a list.
    bool DescribesEntries() const { return m_pStatus != nullptr || m_pValidator != nullptr; }

    // Checks every pending record; the status listener hears of each checked one.
    void CheckPending(int nTimeout, int nInterval);

    // Drops the records whose path no longer names a file (missing, or a directory now), telling
    // pStatus (may be null) of each just before it is deleted.
    void RemoveGone(IFileStatus* pStatus);

    // True when at least one record is pending.
    bool HasPending() const;

    // Hands every record in list order to the filler; false as soon as it returns false.
    bool PassTo(IFilesListFiller& filler);

    // The records, for the owner's reading.
    const std::list<CDocInfo*>& Records() const { return m_records; }

private:
    std::list<CDocInfo*> m_records;
    IFileStatus* m_pStatus;
    IFileValidatior* m_pValidator;
};

// Fills the list from a search of szDirectory (trailing separator optional) for the masks
// (separated by any of ',', ';', LF and TAB), descending nDepth levels of subdirectories (those
// whose path contains ".split" are skipped), until the list holds nMax records (nMax below 1: no
// limit). bLimitReached tells whether the search stopped at the limit.
void CollectFiles(const std::wstring& szDirectory, const std::wstring& szMasks, CFilesList& list, int nDepth,
                  int nMax, int nTimeout, int nInterval, bool& bLimitReached);

namespace platform
{
class COpenDirectory;
}

// The same search of a folder already open. Every name is reached relative to that folder: a
// subfolder is opened relative to its parent and a symbolic link is never followed (a link whose
// name matches is listed as a file of its own, which its user then refuses). Records are named
// directory.Path() + separator + name.
void CollectFiles(const platform::COpenDirectory& directory, const std::wstring& szMasks, CFilesList& list,
                  int nDepth, int nMax, int nTimeout, int nInterval, bool& bLimitReached);
