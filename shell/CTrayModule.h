// Finds and loads the tray module beside the executable and hands out its tray program.
#pragma once

#include "shell/ITrayProgram.h"

#include <memory>
#include <string>

class CTrayModule
{
public:
    // The module's file name beside the executable.
    static const wchar_t* const kFileName;

    // Loads the module and creates its tray program. Returns nullptr, after one line on standard
    // error that says why, when the module is not installed, cannot be loaded or does not fit this
    // program. The module stays loaded until the process ends.
    static std::unique_ptr<ITrayProgram> Load();
};
