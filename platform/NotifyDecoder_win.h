// Windows only: pure decoding of the records that ReadDirectoryChangesW writes
// (FILE_NOTIFY_INFORMATION) into directory changes, without system calls, so that it can be tested
// with made-up buffers. CDirectoryWatch (DirectoryWatch_win.cpp) feeds it what it reads.
#pragma once

#include "platform/DirectoryWatch.h"

#include <cstddef>
#include <vector>

namespace platform
{

// Appends the changes of the records in the buffer, in order, names with '/' between the
// subdirectories. A record that does not fit into the buffer, or points outside it, ends the decoding;
// records with an unknown action or an empty name are skipped. Any thread.
void DecodeNotifyBuffer(const unsigned char* pBuffer, size_t nSize, std::vector<SDirectoryChange>& changes);

} // namespace platform
