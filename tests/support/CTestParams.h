// Settings read from (and saved to) an INI file of the test's choice instead of the one beside the
// test program. Header-only: for test programs that link the settings library.
#pragma once

#include "config/CFMParams.h"

#include <string>

class CTestParams : public CFMParams
{
public:
    explicit CTestParams(const std::wstring& szIniPath) : CFMParams(szIniPath) {}
};
