// The collection of pending control files, in the order in which they were first listed.
#pragma once

#include <list>
#include <string>

class CIncomingFolder;
class CTxtFile;

class CTxtFiles
{
public:
    CTxtFiles() = default;
    // Deletes every record.
    virtual ~CTxtFiles();
    CTxtFiles(const CTxtFiles&) = delete;
    CTxtFiles& operator=(const CTxtFiles&) = delete;

    // Takes ownership of pFile and appends it; when a record of the same path (case-sensitive) is
    // present already, deletes pFile instead and returns false.
    bool Add(CTxtFile* pFile);

    // One attempt for every unfinished record, in list order; finished records are deleted. True
    // only when every attempt succeeded.
    bool ProcessAll();
    // The same within a pass that holds the incoming folder open.
    bool ProcessAll(CIncomingFolder& folder);

    bool Contains(const std::wstring& szPath) const;
    size_t Count() const { return m_files.size(); }
    const std::list<CTxtFile*>& Files() const { return m_files; }

    // Exchanges the records of the two collections (no record is copied).
    void Swap(CTxtFiles& other) { m_files.swap(other.m_files); }
    // Deletes every record.
    void Clear();

private:
    std::list<CTxtFile*> m_files;
};
