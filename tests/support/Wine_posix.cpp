// A Linux build never runs under Wine.
#include "tests/support/Wine.h"

bool RunningUnderWine()
{
    return false;
}
