// The completeness check of a TIFF file: tells a finished file from one that is still being written
// (or was cut short), which FreeImage alone would open with the pages it could find.
#pragma once

#include <string>

// True when every directory of the file's chain reads and every strip or tile of every page lies
// inside the file. Otherwise false with szProblem describing the first gap. szUtf8Path is the
// file's path as UTF-8. libtiff's own errors go to its error handler. Any thread.
bool IsTiffComplete(const std::string& szUtf8Path, std::wstring& szProblem);
