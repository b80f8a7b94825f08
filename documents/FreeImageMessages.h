// The process-wide collection of the messages that FreeImage and libtiff report while documents
// are opened, appended and split; the TIFF document reads its error texts from it.
#pragma once

#include <string>

// Empties the collection. Any thread.
void ClearFreeImageMessages();

// Installs the collection's handlers: FreeImage's output-message handler and libtiff's error and
// warning handlers (libtiff reports past FreeImage's handler), once per process. Any thread.
void InstallFreeImageMessageHandler();

// Appends szMessage unchanged to the collection. Any thread.
void AppendFreeImageMessage(const std::wstring& szMessage);

// The collection's text, cut to the 259 characters that fit an error-text buffer of 260.
std::wstring FreeImageMessagesText();

// True for libtiff's known noise that carries no information about the file: FreeImage asks libtiff
// about tags libtiff does not know for every file it reads, and libtiff answers each with
// "TIFFFieldWithTag: Internal error, unknown tag 0x...".
bool IsLibTiffNoise(const char* szModule, const std::string& szText);
