// Forwards the changes of validation records to the directory monitor's callback.
#include "watch/CDirMonFileStatus.h"

#include "watch/IDirectoryMonitor.h"

CDirMonFileStatus::CDirMonFileStatus(IDirectoryMonitor* pCallback) : m_pCallback(pCallback) {}

void CDirMonFileStatus::OnFileGone(CDocInfo& info)
{
    if (m_pCallback)
        m_pCallback->OnFileGone(info);
}

void CDirMonFileStatus::OnFileChecked(CDocInfo& info)
{
    if (m_pCallback)
        m_pCallback->OnFileChecked(info);
}
