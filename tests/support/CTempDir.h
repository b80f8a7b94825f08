// A fresh directory under the system's temporary directory for one test (or one suite), removed
// with everything in it when the object goes, read-only entries included.
#pragma once

#include <filesystem>
#include <string>

class CTempDir
{
public:
    // Makes the directory; throws std::runtime_error when it cannot. szPrefix names it for a
    // reader of /tmp ("tarvik-<prefix>-XXXXXX"); base, when given, replaces the system's temporary
    // directory.
    explicit CTempDir(const std::string& szPrefix = "test", const std::filesystem::path& base = {});
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // An entry of the directory (the directory itself for an empty name; '/' in the name stands
    // for the system's separator), as native text (on Windows in the C++ library's narrow form:
    // keep such names ASCII) and as wide text, with the system's separators throughout.
    std::string Native(const std::string& szName = std::string()) const;
    std::wstring Wide(const std::string& szName = std::string()) const;

private:
    // Makes a new directory named szStem plus six characters in parent (CTempDir_<system>.cpp);
    // its path, or empty when none could be made.
    static std::filesystem::path MakeUnique(const std::filesystem::path& parent, const std::string& szStem);

    std::filesystem::path m_path;
};
