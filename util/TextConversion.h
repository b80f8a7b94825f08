// Conversion between wide text and multi-byte text in a code page, and case folding of wide text.
//
// Code pages: platform::kCodePageUtf8, and platform::kCodePageLatin1 (each byte the character of the
// same code; platform::kCodePageAnsi is the same on Linux).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Converts the NUL-terminated szSource into pBuffer (nBufferChars wide characters, terminator
// included). Returns pBuffer, or null when an argument is absent, the code page is unknown, the
// source does not convert or the result does not fit; on failure the buffer holds an empty text.
wchar_t* WideFromMultiByte(wchar_t* pBuffer, const char* szSource, size_t nBufferChars, uint32_t nCodePage);

// Converts the NUL-terminated szSource into pBuffer (nBufferBytes bytes, terminator included).
// Returns pBuffer, or null on failure (as above); on failure the buffer holds an empty text.
char* MultiByteFromWide(char* pBuffer, const wchar_t* szSource, size_t nBufferBytes, uint32_t nCodePage);

// The same for whole strings: false on failure, leaving szTarget empty.
bool WideFromMultiByte(std::wstring& szTarget, const std::string& szSource, uint32_t nCodePage);
bool MultiByteFromWide(std::string& szTarget, const std::wstring& szSource, uint32_t nCodePage);

// The text in lower case (every letter that has a lower-case form, not only ASCII).
std::wstring LowerCase(const std::wstring& szText);
