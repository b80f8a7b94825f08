// Decoding of FILE_NOTIFY_INFORMATION records: { next offset, action, name length in bytes, name }
// as DWORDs and UTF-16 units, each record DWORD-aligned.
#include "platform/NotifyDecoder_win.h"

#include <cstdint>
#include <cstring>

namespace platform
{

void DecodeNotifyBuffer(const unsigned char* pBuffer, size_t nSize, std::vector<SDirectoryChange>& changes)
{
    constexpr size_t kHeader = 3 * sizeof(uint32_t);
    for (size_t nOffset = 0; nOffset + kHeader <= nSize;)
    {
        uint32_t header[3];
        std::memcpy(header, pBuffer + nOffset, kHeader);
        const uint32_t nNext = header[0], nAction = header[1], nNameBytes = header[2];
        if (nNameBytes > nSize - nOffset - kHeader)
            break;
        if (nAction >= kFileActionAdded && nAction <= kFileActionRenamedNewName &&
            nNameBytes >= sizeof(uint16_t))
        {
            SDirectoryChange change;
            change.nAction = nAction;
            change.szName.resize(nNameBytes / sizeof(uint16_t));
            for (size_t i = 0; i < change.szName.size(); ++i)
            {
                uint16_t nUnit;
                std::memcpy(&nUnit, pBuffer + nOffset + kHeader + i * sizeof(uint16_t), sizeof(nUnit));
                change.szName[i] = nUnit == u'\\' ? L'/' : static_cast<wchar_t>(nUnit);
            }
            changes.push_back(std::move(change));
        }
        if (nNext == 0 || nNext > nSize - nOffset)
            break;
        nOffset += nNext;
    }
}

} // namespace platform
