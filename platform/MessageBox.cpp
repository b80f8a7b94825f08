// Message boxes: the presenter switch, the default presenter (caption and text as one line on
// standard error, the default button at once) and the default button of each box type.
#include "platform/MessageBox.h"

#include "platform/DebugOutput.h"

#include <atomic>

namespace platform
{

namespace
{

std::atomic<IMessageBoxPresenter*> g_pPresenter{nullptr};

class CStderrMessageBoxPresenter : public IMessageBoxPresenter
{
public:
    int Show(const std::wstring& szText, const std::wstring& szCaption, uint32_t nType) override
    {
        OutputDebugText(L"[" + szCaption + L"] " + szText);
        return DefaultButton(nType);
    }
};

} // namespace

IMessageBoxPresenter& DefaultMessageBoxPresenter()
{
    static CStderrMessageBoxPresenter s_presenter;
    return s_presenter;
}

int DefaultButton(uint32_t nType)
{
    static const int kOk[] = {kIdOk};
    static const int kOkCancel[] = {kIdOk, kIdCancel};
    static const int kAbortRetryIgnore[] = {kIdAbort, kIdRetry, kIdIgnore};
    static const int kYesNoCancel[] = {kIdYes, kIdNo, kIdCancel};
    static const int kYesNo[] = {kIdYes, kIdNo};
    static const int kRetryCancel[] = {kIdRetry, kIdCancel};

    const int* pButtons = kOk;
    size_t nButtons = 1;
    switch (nType & 0xF)
    {
    case kMbOkCancel:
        pButtons = kOkCancel;
        nButtons = 2;
        break;
    case kMbAbortRetryIgnore:
        pButtons = kAbortRetryIgnore;
        nButtons = 3;
        break;
    case kMbYesNoCancel:
        pButtons = kYesNoCancel;
        nButtons = 3;
        break;
    case kMbYesNo:
        pButtons = kYesNo;
        nButtons = 2;
        break;
    case kMbRetryCancel:
        pButtons = kRetryCancel;
        nButtons = 2;
        break;
    default:
        break;
    }
    // A default button beyond the set falls back to the first, as on Windows.
    const size_t nDefault = (nType >> 8) & 0xF;
    return nDefault < nButtons ? pButtons[nDefault] : pButtons[0];
}

IMessageBoxPresenter* SetMessageBoxPresenter(IMessageBoxPresenter* pPresenter)
{
    return g_pPresenter.exchange(pPresenter);
}

int ShowMessageBox(const std::wstring& szText, const std::wstring& szCaption, uint32_t nType)
{
    IMessageBoxPresenter* pPresenter = g_pPresenter.load();
    if (pPresenter == nullptr || IsHeadless())
    {
        return DefaultMessageBoxPresenter().Show(szText, szCaption, nType);
    }
    return pPresenter->Show(szText, szCaption, nType);
}

} // namespace platform
