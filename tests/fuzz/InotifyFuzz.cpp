// The inotify decoder on arbitrary buffers: split, then decode with a root and one subdirectory
// watched, twice over (the second batch sees the watches the first one changed).
#include "platform/InotifyDecoder_posix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::vector<platform::SInotifyRecord> records = platform::SplitInotifyBuffer(pData, nSize);
    platform::CInotifyDecoder decoder;
    decoder.AddWatch(1, "");
    decoder.AddWatch(2, "sub/");
    for (int nRound = 0; nRound < 2; ++nRound)
    {
        std::vector<platform::SDirectoryChange> changes;
        platform::SWatchUpdate update;
        decoder.Decode(records, changes, update);
        int nWd = 100 + nRound * 1000;
        for (const std::string& szDirectory : update.newDirectories)
            decoder.AddWatch(nWd++, szDirectory);
        for (int nDropped : update.droppedWatches)
            decoder.RemoveWatch(nDropped);
    }
    for (const platform::SInotifyRecord& record : records)
        platform::WideRelativeName(record.szName);
    return 0;
}
