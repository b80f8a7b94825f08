// The switches that only inform: --help prints the usage, --version the version. Either ends the
// process before anything of the service runs (no settings are loaded, no instance is claimed).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

class CInfoSwitches
{
public:
    // The text for the first --help or --version among args (args[0] is the program and is not
    // looked at); empty when neither is there. Other arguments are ignored.
    static std::string TextFor(const std::vector<std::wstring>& args);

    // Reads the process's own arguments; when they hold an informing switch, writes its text to
    // standard output and ends the process with status 0 at once. Otherwise returns false. For a
    // static initialiser that runs before the engine object is built.
    static bool HandleOwnArguments();

    static const char* const kUsage;
    static const char* const kVersion;
};
