// Receiver of the changes of validation records.
#pragma once

class CDocInfo;

class IFileStatus
{
public:
    virtual ~IFileStatus() = default;

    // The file of this record left the directory; the record is destroyed right after the call.
    virtual void OnFileGone(CDocInfo& info) = 0;
    // The record was just made or checked.
    virtual void OnFileChecked(CDocInfo& info) = 0;
};
