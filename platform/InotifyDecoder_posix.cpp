// Decoding of inotify records (no system calls).
#include "platform/InotifyDecoder_posix.h"

#include "platform/FileSystem.h"

#include <sys/inotify.h>

#include <cstring>

namespace platform
{

std::vector<SInotifyRecord> SplitInotifyBuffer(const unsigned char* pBuffer, size_t nSize)
{
    std::vector<SInotifyRecord> records;
    if (pBuffer == nullptr)
        return records; // an empty read may come with no buffer at all
    size_t nOffset = 0;
    while (nOffset + sizeof(inotify_event) <= nSize)
    {
        inotify_event header;
        std::memcpy(&header, pBuffer + nOffset, sizeof(header));
        size_t nRecord = sizeof(inotify_event) + header.len;
        if (nRecord > nSize - nOffset)
            break;
        SInotifyRecord record;
        record.nWd = header.wd;
        record.nMask = header.mask;
        record.nCookie = header.cookie;
        const char* pName = reinterpret_cast<const char*>(pBuffer + nOffset + sizeof(inotify_event));
        record.szName.assign(pName, strnlen(pName, header.len));
        records.push_back(std::move(record));
        nOffset += nRecord;
    }
    return records;
}

uint32_t InotifyWatchMask()
{
    return IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
           IN_MOVE_SELF | IN_ONLYDIR;
}

void CInotifyDecoder::AddWatch(int nWd, const std::string& szRelativeDirectory)
{
    m_watches[nWd] = szRelativeDirectory;
}

void CInotifyDecoder::RemoveWatch(int nWd)
{
    m_watches.erase(nWd);
}

bool CInotifyDecoder::WatchDirectory(int nWd, std::string& szRelativeDirectory) const
{
    auto it = m_watches.find(nWd);
    if (it == m_watches.end())
        return false;
    szRelativeDirectory = it->second;
    return true;
}

std::string CInotifyDecoder::PathOf(const SInotifyRecord& record, bool& bKnown) const
{
    auto it = m_watches.find(record.nWd);
    bKnown = it != m_watches.end() && !record.szName.empty();
    return bKnown ? it->second + record.szName : std::string();
}

void CInotifyDecoder::RenameDirectory(const std::string& szOld, const std::string& szNew)
{
    for (auto& [nWd, szDirectory] : m_watches)
    {
        if (!szDirectory.empty() && szDirectory.compare(0, szOld.size(), szOld) == 0)
            szDirectory = szNew + szDirectory.substr(szOld.size());
    }
}

void CInotifyDecoder::DropDirectory(const std::string& szDirectory, SWatchUpdate& update)
{
    for (auto it = m_watches.begin(); it != m_watches.end();)
    {
        if (!it->second.empty() && it->second.compare(0, szDirectory.size(), szDirectory) == 0)
        {
            update.droppedWatches.push_back(it->first);
            it = m_watches.erase(it);
        }
        else
            ++it;
    }
}

void CInotifyDecoder::Decode(const std::vector<SInotifyRecord>& records,
                             std::vector<SDirectoryChange>& changes, SWatchUpdate& update)
{
    auto add = [&changes](uint32_t nAction, const std::string& szPath) {
        changes.push_back(SDirectoryChange{nAction, WideRelativeName(szPath)});
    };
    for (size_t i = 0; i < records.size(); ++i)
    {
        const SInotifyRecord& record = records[i];
        if (record.nMask & IN_Q_OVERFLOW)
        {
            update.bOverflow = true;
            continue;
        }
        if (record.nMask & IN_IGNORED)
        {
            RemoveWatch(record.nWd);
            continue;
        }
        if (record.nMask & (IN_DELETE_SELF | IN_MOVE_SELF))
        {
            std::string szDirectory;
            if (WatchDirectory(record.nWd, szDirectory) && szDirectory.empty())
                update.bRootGone = true;
            continue; // a subdirectory's own move or deletion is seen in its parent
        }
        bool bKnown = false;
        std::string szPath = PathOf(record, bKnown);
        if (!bKnown)
            continue;
        bool bDirectory = (record.nMask & IN_ISDIR) != 0;

        if (record.nMask & IN_MOVED_FROM)
        {
            bool bPaired = i + 1 < records.size() && (records[i + 1].nMask & IN_MOVED_TO) &&
                           records[i + 1].nCookie == record.nCookie;
            bool bNewKnown = false;
            std::string szNewPath = bPaired ? PathOf(records[i + 1], bNewKnown) : std::string();
            if (bPaired && bNewKnown)
            {
                ++i;
                if (bDirectory)
                    RenameDirectory(szPath + "/", szNewPath + "/");
                else
                {
                    add(kFileActionRenamedOldName, szPath);
                    add(kFileActionRenamedNewName, szNewPath);
                }
            }
            else if (bDirectory)
                DropDirectory(szPath + "/", update);
            else
                add(kFileActionRemoved, szPath);
            continue;
        }
        if (record.nMask & (IN_CREATE | IN_MOVED_TO))
        {
            if (bDirectory)
                update.newDirectories.push_back(szPath + "/");
            else
                add(kFileActionAdded, szPath);
        }
        else if (record.nMask & IN_DELETE)
        {
            if (!bDirectory)
                add(kFileActionRemoved, szPath);
        }
        else if (record.nMask & (IN_MODIFY | IN_ATTRIB))
        {
            if (!bDirectory)
                add(kFileActionModified, szPath);
        }
    }
}

std::wstring WideRelativeName(const std::string& szName)
{
    return WidePath(szName);
}

} // namespace platform
