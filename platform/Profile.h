// Private-profile (INI file) functions with the Windows behaviour that the settings rely on.
//
// The file is read and written whole on every call. A file that starts with FF FE is UTF-16LE and
// stays so; any other file is 8-bit (each byte the character of the same code) and stays so. Lines
// end with CR LF when written; CR LF and LF are accepted when read. Section and key names compare
// without regard to letter case; blanks around names and values are ignored, as on Windows. Also as
// on Windows: the first section and the first key of a name count; a value in matching double or
// single quotes reads without them; a default text loses its trailing blanks; a file that a write
// creates is 8-bit; a character that an 8-bit file cannot hold is written as '?'. A write replaces
// the key's line only (keeping its spelling of the key name) and leaves every other byte as it was.
// The file is a data-folder file (DataFile.h): a link under its name is neither read nor written
// through; reads then give the default and writes fail with 5.
#pragma once

#include <cstdint>
#include <string>

namespace platform
{

// Size of the caller's buffer in the Windows call: at most nBufferSize - 1 characters come back.
inline constexpr size_t kProfileBufferSize = 4096;

// The value of key in section, or szDefault when the file, the section or the key is missing.
// The result is cut to nBufferSize - 1 characters.
std::wstring GetPrivateProfileString(const std::wstring& szSection, const std::wstring& szKey,
                                     const std::wstring& szDefault, const std::wstring& szPath,
                                     size_t nBufferSize = kProfileBufferSize);

// The value read as an integer: optional blanks, optional sign, then the leading decimal digits;
// 0 when there are none; nDefault when the key is missing.
int32_t GetPrivateProfileInt(const std::wstring& szSection, const std::wstring& szKey, int32_t nDefault,
                             const std::wstring& szPath);

// Writes key=value, creating the file, the section (at the end) or the key (at the end of its
// section) when missing, and keeping every other line of the file as it was. The file is replaced
// atomically (written to a temporary file beside it, then renamed). False with the last error set.
bool WritePrivateProfileString(const std::wstring& szSection, const std::wstring& szKey,
                               const std::wstring& szValue, const std::wstring& szPath);

} // namespace platform
