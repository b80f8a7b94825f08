// Keeps tests away from /run, /etc and the desktop: the named objects and the registry live in a
// temporary directory of their own, and the variables that point at them are set for the life of
// the object and restored afterwards. Use it as a member of a fixture (one per test) or register
// it once per test program:
//
//     ::testing::AddGlobalTestEnvironment(new CIsolatedEnvironment(CIsolatedEnvironment::kPdfLibrary));
#pragma once

#include "tests/support/CTempDir.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

class CIsolatedEnvironment : public ::testing::Environment
{
public:
    enum EFlags : unsigned
    {
        kNone = 0,
        kPdfLibrary = 1, // the PDF library is found in the build's bin/ (TARVIK_LIBRARY_PATH)
        kHeadless = 2,   // no desktop: message boxes go to the log (TARVIK_HEADLESS=1)
    };

    explicit CIsolatedEnvironment(unsigned nFlags = kNone);
    ~CIsolatedEnvironment() override;

    const CTempDir& Directory() const { return m_directory; }
    std::filesystem::path ObjectsDir() const { return m_directory.Path() / "objects"; }
    std::filesystem::path RegistryDir() const { return m_directory.Path() / "registry"; }

    // Sets (or, with nullptr, removes) a variable until this object goes; the first value seen is
    // the one restored.
    void Set(const char* szName, const char* szValue);

private:
    CTempDir m_directory;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// The platform hands message boxes to an installed presenter only when a display is announced, so a
// test that installs a scripted presenter announces one (no box ever reaches a real display: the
// scripted presenter answers them all).
void AnnounceDisplayForScriptedPresenter();
