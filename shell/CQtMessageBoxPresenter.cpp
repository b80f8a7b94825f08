// The Qt message-box presenter.
#include "shell/CQtMessageBoxPresenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include <vector>

using namespace platform;

int CQtMessageBoxPresenter::Show(const std::wstring& szText, const std::wstring& szCaption, uint32_t nType)
{
    if (qApp == nullptr || QThread::currentThread() != qApp->thread())
        return DefaultMessageBoxPresenter().Show(szText, szCaption, nType);

    QMessageBox::Icon eIcon = QMessageBox::NoIcon;
    switch (nType & 0xF0)
    {
    case kMbIconError:
        eIcon = QMessageBox::Critical;
        break;
    case kMbIconQuestion:
        eIcon = QMessageBox::Question;
        break;
    case kMbIconWarning:
        eIcon = QMessageBox::Warning;
        break;
    case kMbIconInformation:
        eIcon = QMessageBox::Information;
        break;
    default:
        break;
    }
    std::vector<std::pair<QMessageBox::StandardButton, int>> buttons;
    switch (nType & 0xF)
    {
    case kMbOkCancel:
        buttons = {{QMessageBox::Ok, kIdOk}, {QMessageBox::Cancel, kIdCancel}};
        break;
    case kMbAbortRetryIgnore:
        buttons = {
            {QMessageBox::Abort, kIdAbort}, {QMessageBox::Retry, kIdRetry}, {QMessageBox::Ignore, kIdIgnore}};
        break;
    case kMbYesNoCancel:
        buttons = {{QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}, {QMessageBox::Cancel, kIdCancel}};
        break;
    case kMbYesNo:
        buttons = {{QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}};
        break;
    case kMbRetryCancel:
        buttons = {{QMessageBox::Retry, kIdRetry}, {QMessageBox::Cancel, kIdCancel}};
        break;
    default:
        buttons = {{QMessageBox::Ok, kIdOk}};
        break;
    }

    QString szBody = QString::fromStdWString(szText);
    szBody.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(eIcon, QString::fromStdWString(szCaption), szBody, QMessageBox::NoButton,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("TarvikMessageBox"));
    const int nDefault = DefaultButton(nType);
    for (const auto& [eButton, nId] : buttons)
    {
        QPushButton* pButton = box.addButton(eButton);
        if (nId == nDefault)
            box.setDefaultButton(pButton);
        if (nId == kIdCancel)
            box.setEscapeButton(pButton);
    }
    box.exec();
    QAbstractButton* pClicked = box.clickedButton();
    if (pClicked != nullptr)
    {
        const QMessageBox::StandardButton eClicked = box.standardButton(pClicked);
        for (const auto& [eButton, nId] : buttons)
            if (eButton == eClicked)
                return nId;
    }
    for (const auto& [eButton, nId] : buttons)
        if (nId == kIdCancel)
            return nId;
    return nDefault;
}
