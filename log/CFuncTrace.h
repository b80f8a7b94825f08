// Method enter/leave traces to the debugger output, only when debug mode is on.
//
// Place one at the top of a method: CFuncTrace trace(L"CQuickPdfDoc::Open");
// Lines read "<thread name>: + <indent><method>" and "...: - ..."; the indent (two blanks per level)
// is one depth shared by all threads. Traces never reach the log file.
#pragma once

#include <string>

class CFuncTrace
{
public:
    explicit CFuncTrace(const std::wstring& szMethod);
    virtual ~CFuncTrace();
    CFuncTrace(const CFuncTrace&) = delete;
    CFuncTrace& operator=(const CFuncTrace&) = delete;

private:
    std::wstring m_szMethod;
    std::wstring m_szThreadName;
    bool m_bActive = false;
};
