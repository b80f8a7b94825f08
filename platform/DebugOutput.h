// Debugger output stand-in (OutputDebugString): every call writes one line to standard error, so that
// a service run under a supervisor shows its traces in the journal. Lines of concurrent threads never
// interleave inside a line.
#pragma once

#include <string>

namespace platform
{

void OutputDebugText(const std::wstring& szText);

} // namespace platform
