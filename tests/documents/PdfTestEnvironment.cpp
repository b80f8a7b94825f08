// Points the named objects and the registry of the document tests at a temporary directory of
// their own, before the first trace reads the debug switch, and lets the PDF library be found in
// bin/ although the tests lie elsewhere.
#include "tests/support/CIsolatedEnvironment.h"

#include <gtest/gtest.h>

namespace
{

const ::testing::Environment* const g_pEnvironment =
    ::testing::AddGlobalTestEnvironment(new CIsolatedEnvironment(CIsolatedEnvironment::kPdfLibrary));

} // namespace

// fontconfig, which poppler asks for fonts when it renders, keeps a cache it never frees; that is
// not a leak of this program.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
