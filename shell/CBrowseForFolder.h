// The folder browser: a directory chooser owned by a window, opened at a start folder.
#pragma once

#include <cstdint>
#include <string>

class QWidget;

class CBrowseForFolder
{
public:
    // Browse flags, with the values of the Windows shell.
    enum : uint32_t
    {
        kReturnOnlyFsDirs = 0x0001,
        kStatusText = 0x0004,
        kEditBox = 0x0010,
        kNewDialogStyle = 0x0040,
    };

    // pOwner is not owned; the browser is modal to it.
    CBrowseForFolder(QWidget* pOwner, const std::wstring& szTitle, const std::wstring& szStartFolder);
    virtual ~CBrowseForFolder() = default;

    // Runs the browser. True with the chosen folder's path in szFolder when the user confirmed a
    // folder; false (szFolder unchanged) on cancel. The start folder is selected when it exists.
    bool Browse(std::wstring& szFolder);

    void SetFlags(uint32_t nFlags) { m_nFlags = nFlags; }
    uint32_t Flags() const { return m_nFlags; }
    void SetRootFolder(const std::wstring& szRoot) { m_szRootFolder = szRoot; }

    // The object name of the browser's window while it runs (tests find it by this name).
    static constexpr const char* kObjectName = "CBrowseForFolder";

private:
    QWidget* m_pOwner;
    std::wstring m_szStartFolder;
    std::wstring m_szTitle;
    std::wstring m_szRootFolder; // empty: the file system's root
    int m_nImage = 0;
    uint32_t m_nFlags = kReturnOnlyFsDirs | kStatusText | kNewDialogStyle;
};
