// The check of a document under watch: does the file hold an openable document with pages?
#pragma once

#include <string>

class IFileValidatior
{
public:
    virtual ~IFileValidatior() = default;

    // True when the file at szPath is a document that opens; then nPages holds its page count. On
    // failure szError may hold the document's error text. Called on the file-list thread.
    virtual bool Validate(const wchar_t* szPath, int& nPages, std::wstring& szError) = 0;
};
