// Receives the progress and the result of a document split.
#pragma once

#include <string>

class ISplitListener
{
public:
    // The output file of the next item is about to be written.
    virtual void OnSplitFile(const wchar_t* szFileName) = 0;
    // Called once per Split of a real document, with the outcome and its message.
    virtual void OnSplitResult(bool bSuccess, const std::wstring& szMessage) = 0;

protected:
    ~ISplitListener() = default;
};
