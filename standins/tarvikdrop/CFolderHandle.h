// A folder opened by its absolute path without following a symbolic link in any component, so
// that later *at calls act on the folder that was checked and not on one swapped in by a link.
#pragma once

#include <string>
#include <vector>

class CFolderHandle
{
public:
    CFolderHandle() = default;
    ~CFolderHandle();
    CFolderHandle(const CFolderHandle&) = delete;
    CFolderHandle& operator=(const CFolderHandle&) = delete;

    // Opens the folder (as an O_PATH descriptor). False with a message in szError when the path is
    // not absolute, holds "..", a component is a link or not a folder, or a component cannot be
    // searched.
    bool Open(const std::string& szPath, std::string& szError);

    // The descriptor for *at calls; -1 when not open.
    int Fd() const { return m_hFolder; }

    // The components of an absolute path, with empty and "." components dropped. False when the
    // path is not absolute or holds a ".." component.
    static bool SplitPath(const std::string& szPath, std::vector<std::string>& components);
    // "/" followed by the components joined with "/".
    static std::string JoinPath(const std::vector<std::string>& components);

private:
    int m_hFolder = -1;
};
