// The directory monitor's callback interface: every change it sees, and every validation record it
// checks, reaches an implementer of this interface. All slots have empty defaults, so an implementer
// overrides only what it needs.
#pragma once

#include <string>

class CDocInfo;

class IDirectoryMonitor
{
public:
    virtual ~IDirectoryMonitor() = default;

    // A file appeared (created, or moved in from outside the watched tree). The name is relative to
    // the watched directory and may carry subdirectory names. Called on the watch thread.
    virtual void OnFileAdded(const std::wstring& /*szFileName*/) {}
    // A validation record was just made or checked. Called on the file-list thread.
    virtual void OnFileChecked(CDocInfo& /*info*/) {}
    // A file was deleted or moved out of the tree. Called on the watch thread.
    virtual void OnFileRemoved(const std::wstring& /*szFileName*/) {}
    // The file of this record left the directory; the record is destroyed right after the call.
    // Called on the file-list thread.
    virtual void OnFileGone(CDocInfo& /*info*/) {}
    // A file was written, or changed in size or access time. Called on the watch thread.
    virtual void OnFileModified(const std::wstring& /*szFileName*/) {}
    // The new name of a file renamed inside the tree (follows the old name). Watch thread.
    virtual void OnFileRenamedNewName(const std::wstring& /*szFileName*/) {}
    // The old name of a file renamed inside the tree. Watch thread.
    virtual void OnFileRenamedOldName(const std::wstring& /*szFileName*/) {}
    // Reserved notification; the monitor never sends it.
    virtual void OnNotify() {}
};
