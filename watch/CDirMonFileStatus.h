// Forwards the changes of validation records to the directory monitor's callback.
#pragma once

#include "watch/IFileStatus.h"

class IDirectoryMonitor;

class CDirMonFileStatus : public IFileStatus
{
public:
    // pCallback is not owned and may be null (then nothing is forwarded).
    explicit CDirMonFileStatus(IDirectoryMonitor* pCallback);

    void OnFileGone(CDocInfo& info) override;
    void OnFileChecked(CDocInfo& info) override;

private:
    IDirectoryMonitor* m_pCallback;
};
