// The viewer's command line: "/path <log path> /language <language>". The service passes the path
// unquoted, so a path with blanks arrives as several words; they are joined again here.
#pragma once

#include <string>
#include <vector>

class CLogCommandLine
{
public:
    // Takes the arguments after the program name. The switches are matched without regard to
    // letter case, with "/" or "-" in front. The path is every word after "/path" up to the last
    // "/language" (joined by single blanks); a command line without "/path" is taken whole as the
    // path. Returns false when no path is given.
    bool Parse(const std::vector<std::string>& args);

    const std::string& Path() const { return m_szPath; }
    // "English" when the command line names none.
    const std::string& Language() const { return m_szLanguage; }

private:
    std::string m_szPath;
    std::string m_szLanguage = "English";
};
