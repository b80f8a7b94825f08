// Small helpers shared by the tests and benchmarks that drive real files and programs: whole-file
// reads and writes, the UTF-16LE form of an INI text as tarvik.ini is stored, waiting for a
// condition with a deadline, setting variables, and a one-page PDF made by Ghostscript.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tests
{

// The file's bytes; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);
// Replaces the file's content with the bytes; false when it cannot be written.
bool WriteFile(const std::filesystem::path& path, std::string_view szBytes);
// True when there is an entry of that name (a dangling symbolic link counts).
bool PathExists(const std::filesystem::path& path);
// The names of the directory's entries, sorted; empty when it cannot be read.
std::vector<std::string> ListDirectory(const std::filesystem::path& path);

// UTF-16LE bytes of the text, without a byte-order mark (characters beyond U+FFFF as pairs).
std::string Utf16Le(std::wstring_view szText);
// The bytes of an INI file as tarvik.ini is stored: the UTF-16LE mark, then the text. The narrow
// form takes ASCII (each byte one character).
std::string Utf16Ini(std::wstring_view szText);
std::string Utf16Ini(std::string_view szAscii);
// Writes Utf16Ini(szText) to the file; false when it cannot be written.
bool WriteUtf16Ini(const std::filesystem::path& path, std::wstring_view szText);
// The lines of UTF-16LE bytes after their mark, split at CR LF; empty lines dropped.
std::vector<std::wstring> Utf16Lines(const std::string& szBytes);

// Polls ready() every 20 ms until it holds (true) or the time-out has passed (false); ready() is
// asked once more at the deadline.
bool WaitUntil(const std::function<bool()>& ready,
               std::chrono::steady_clock::duration timeout = std::chrono::seconds(60));

// The path written with '/' in the system's form (backslashes on Windows), for tests that give
// the code under test path text of their own.
std::wstring SystemPath(std::wstring szPath);

// The Python interpreter that runs the test scripts (smtp_sink.py, parse_mail.py): Debian's
// /usr/bin/python3, also under Wine; "python" from PATH on Windows itself.
std::string PythonProgram();

// The device that swallows what is written to it ("/dev/null"; on Windows "NUL").
std::filesystem::path NullDevice();

// Linux: limits the size of every file this process writes to nBytes (setrlimit; a write beyond it
// fails with EFBIG instead of ending the process). Windows has no such limit: false there.
bool LimitFileSize(uint64_t nBytes);

// Makes a symbolic link at link to target (a folder link with bDirectory, which Windows tells
// apart); true when a link now stands there. On Windows, without the right to make links, false.
bool MakeSymbolicLink(const std::filesystem::path& target, const std::filesystem::path& link,
                      bool bDirectory = false);

// Sets the variable of this process (nullptr removes it) where both std::getenv and the system's
// own environment (what a child inherits, GetEnvironmentVariableW on Windows) see it.
void SetVariable(const char* szName, const char* szValue);

// Writes a one-page PDF showing szText with Ghostscript; true when gs succeeded.
bool MakeOnePagePdf(const std::filesystem::path& path, const std::string& szText = "Page");

} // namespace tests
