// A Linux build never runs under Wine.
#include "tests/support/Wine.h"

bool RunningUnderWine()
{
    return false;
}

std::string HostPath(const std::filesystem::path& path)
{
    return path.string();
}
