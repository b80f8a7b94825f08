// Message boxes of every part of the program as real dialogs on the desktop.
#pragma once

#include "platform/MessageBox.h"

class CQtMessageBoxPresenter : public platform::IMessageBoxPresenter
{
public:
    // Shows a modal QMessageBox with the caption, text, icon, buttons and default button of nType,
    // owned by the active window. On a thread other than the application's it answers as the
    // default presenter does (a box there could wait on a user-interface thread that waits for it).
    // A box ended by a quit request (no button chosen) answers Cancel where the box has it, else its
    // default button.
    int Show(const std::wstring& szText, const std::wstring& szCaption, uint32_t nType) override;
};
