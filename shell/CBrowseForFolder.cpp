// The folder browser on a non-native QFileDialog that chooses directories.
#include "shell/CBrowseForFolder.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

CBrowseForFolder::CBrowseForFolder(QWidget* pOwner, const std::wstring& szTitle,
                                   const std::wstring& szStartFolder)
    : m_pOwner(pOwner), m_szStartFolder(szStartFolder), m_szTitle(szTitle)
{
    (void)m_nImage;
}

bool CBrowseForFolder::Browse(std::wstring& szFolder)
{
    QFileDialog dialog(m_pOwner, QString::fromStdWString(m_szTitle));
    dialog.setObjectName(kObjectName);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::ReadOnly, (m_nFlags & kNewDialogStyle) == 0); // no "new folder" button
    if (!m_szRootFolder.empty())
        dialog.setDirectory(QString::fromStdWString(m_szRootFolder));

    // Open in the start folder with it selected: the parent shown, the folder picked in it.
    QString szStart = QString::fromStdWString(m_szStartFolder);
    while (szStart.size() > 1 && szStart.endsWith('/'))
        szStart.chop(1);
    const QFileInfo start(szStart);
    if (!szStart.isEmpty() && start.isDir())
    {
        dialog.setDirectory(start.absoluteFilePath());
        dialog.selectFile(start.absoluteFilePath());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    const QString szChosen = dialog.selectedFiles().constFirst();
    if (szChosen.isEmpty() || !QFileInfo(szChosen).isDir())
        return false; // an item without a folder behind it leaves the field unchanged
    szFolder = QDir::cleanPath(szChosen).toStdWString();
    return true;
}
