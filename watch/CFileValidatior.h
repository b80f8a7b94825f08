// The document check of the validation: a file of at least 1024 bytes that opens at page 1.
#pragma once

#include "watch/IFileValidatior.h"

class CFileValidatior : public IFileValidatior
{
public:
    // False without touching nPages or szError when the file is shorter than 1024 bytes (or
    // missing). Otherwise opens the document at page 1 with szError as its error text, stores its
    // page count in nPages on success and closes it; the result is that of the open.
    bool Validate(const wchar_t* szPath, int& nPages, std::wstring& szError) override;
};
