// Message boxes behind an interface that the desktop shell implements.
//
// The default presenter, used when no other is installed and whenever there is no display (or
// TARVIK_HEADLESS=1), writes caption and text to standard error and returns the box's default button
// at once: it never blocks. Boxes may be shown from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace platform
{

// Buttons, icons and default buttons, with the Windows values.
enum : uint32_t
{
    kMbOk = 0x0,
    kMbOkCancel = 0x1,
    kMbAbortRetryIgnore = 0x2,
    kMbYesNoCancel = 0x3,
    kMbYesNo = 0x4,
    kMbRetryCancel = 0x5,
    kMbIconError = 0x10,
    kMbIconQuestion = 0x20,
    kMbIconWarning = 0x30,
    kMbIconInformation = 0x40,
    kMbDefButton1 = 0x000,
    kMbDefButton2 = 0x100,
    kMbDefButton3 = 0x200,
    kMbSystemModal = 0x1000,
    kMbTopMost = 0x40000,
};

// Results, with the Windows values.
enum : int
{
    kIdOk = 1,
    kIdCancel = 2,
    kIdAbort = 3,
    kIdRetry = 4,
    kIdIgnore = 5,
    kIdYes = 6,
    kIdNo = 7,
};

class IMessageBoxPresenter
{
public:
    virtual ~IMessageBoxPresenter() = default;
    // Shows the box and returns the button chosen. May be called on any thread.
    virtual int Show(const std::wstring& szText, const std::wstring& szCaption, uint32_t nType) = 0;
};

// Shows a message box through the installed presenter (no owner window).
int ShowMessageBox(const std::wstring& szText, const std::wstring& szCaption, uint32_t nType);

// The button a box of this type returns when nobody answers: the default button of its set.
int DefaultButton(uint32_t nType);

// Installs a presenter (not owned; null restores the default). Returns the one it replaces.
IMessageBoxPresenter* SetMessageBoxPresenter(IMessageBoxPresenter* pPresenter);

// The default presenter: one line "[caption] text" on standard error (line ends in the text become
// blanks), then the default button.
IMessageBoxPresenter& DefaultMessageBoxPresenter();

// True when no box may wait for a person: TARVIK_HEADLESS=1, or neither DISPLAY nor WAYLAND_DISPLAY set.
bool IsHeadless();

} // namespace platform
