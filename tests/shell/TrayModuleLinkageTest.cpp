// How tarvik and its tray module are linked, read from the built files with readelf and nm: the
// service program needs no desktop library, and the module carries no copy of the engine, the
// platform layer or the logger but uses the executable's (which exports them).
#include "tests/support/CTestProcess.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace
{

const std::string kTarvik = TARVIK_BIN_DIR "/tarvik";
const std::string kModule = TARVIK_BIN_DIR "/libtarvik-tray.so";

std::vector<std::string> Lines(const std::vector<std::string>& args)
{
    int nResult = -1;
    std::istringstream output(CTestProcess::Output(args, &nResult));
    EXPECT_EQ(nResult, 0) << args[0];
    std::vector<std::string> lines;
    for (std::string szLine; std::getline(output, szLine);)
        lines.push_back(szLine);
    return lines;
}

// The demangled names of the dynamic symbols whose nm type letter is in szTypes.
std::set<std::string> DynamicSymbols(const std::string& szFile, const std::string& szTypes)
{
    std::set<std::string> names;
    static const std::regex kLine(R"(^(?:[0-9a-f]+)?\s+([A-Za-z])\s+(.+)$)");
    for (const std::string& szLine : Lines({"nm", "-D", "-C", szFile}))
    {
        std::smatch match;
        if (std::regex_match(szLine, match, kLine) && szTypes.find(match[1].str()[0]) != std::string::npos)
            names.insert(match[2].str());
    }
    return names;
}

bool IsSharedState(const std::string& szName)
{
    static const std::regex kOurs(
        R"(^(CFMonitorApp|CFMParams|CIniFile|CLogger|CSmtpClient|CFileOps|platform::|ShowLog\b|ExecutableDirectory\b))");
    return std::regex_search(szName, kOurs);
}

TEST(TrayModuleLinkageTest, ServiceProgramNeedsNoDesktopLibrary)
{
    std::vector<std::string> needed;
    for (const std::string& szLine : Lines({"readelf", "-d", "-W", kTarvik}))
        if (szLine.find("(NEEDED)") != std::string::npos)
            needed.push_back(szLine.substr(szLine.find('[')));
    ASSERT_FALSE(needed.empty());
    static const std::regex kDesktop(R"(Qt|X11|xcb|dbus|GL|wayland|xkb|fontconfig|freetype|glib|icu)",
                                     std::regex::icase);
    for (const std::string& szLibrary : needed)
        EXPECT_FALSE(std::regex_search(szLibrary, kDesktop)) << "tarvik needs " << szLibrary;
    // The module does need them.
    bool bQt = false;
    for (const std::string& szLine : Lines({"readelf", "-d", "-W", kModule}))
        bQt = bQt || szLine.find("libQt6Widgets") != std::string::npos;
    EXPECT_TRUE(bQt);
}

TEST(TrayModuleLinkageTest, ModuleUsesTheExecutablesOneCopyOfEngineLayerAndLogger)
{
    // Strong definitions only: inline functions of the headers (weak) merge with the executable's.
    for (const std::string& szName : DynamicSymbols(kModule, "TtDdBbRr"))
        EXPECT_FALSE(IsSharedState(szName)) << "the module defines its own " << szName;
    EXPECT_EQ(DynamicSymbols(kModule, "T").count("TarvikCreateTrayProgram"), 1u);

    // Everything of ours that the module calls is exported by tarvik.
    const std::set<std::string> exported = DynamicSymbols(kTarvik, "TtDdBbRrWwVvu");
    size_t nUsed = 0;
    for (const std::string& szName : DynamicSymbols(kModule, "U"))
    {
        if (!IsSharedState(szName))
            continue;
        ++nUsed;
        EXPECT_EQ(exported.count(szName), 1u) << "tarvik does not export " << szName;
    }
    EXPECT_GT(nUsed, 10u); // the engine's Start and Stop, the settings, message boxes, the queue, ...
}

} // namespace
