// Method enter/leave traces to the debugger output.
#include "log/CFuncTrace.h"

#include "log/CLogger.h"
#include "platform/DebugOutput.h"

#include <atomic>

namespace
{

// One depth for all threads, so the traces of different threads share one indentation.
std::atomic<int> g_nTraceDepth{0};

std::wstring Indent(int nDepth)
{
    return std::wstring(static_cast<size_t>(nDepth > 0 ? nDepth * 2 : 0), L' ');
}

} // namespace

CFuncTrace::CFuncTrace(const std::wstring& szMethod) : m_szMethod(szMethod)
{
    if (!IsDebugMode())
        return;
    m_bActive = true;
    m_szThreadName = ThreadName();
    int nDepth = g_nTraceDepth.fetch_add(1);
    platform::OutputDebugText(m_szThreadName + L": + " + Indent(nDepth) + m_szMethod);
}

CFuncTrace::~CFuncTrace()
{
    if (!m_bActive)
        return;
    int nDepth = g_nTraceDepth.fetch_sub(1) - 1;
    platform::OutputDebugText(m_szThreadName + L": - " + Indent(nDepth) + m_szMethod);
}
