// The fixture of the settings tests: a fresh isolated directory for the INI files, the named
// objects and the registry, and the probe program that plays the other process.
#pragma once

#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTestParams.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tests::PathExists;
using tests::ReadFile;
using tests::Utf16Ini;
using tests::Utf16Le;
using tests::Utf16Lines;
using tests::WriteFile;

class CConfigTest : public ::testing::Test
{
protected:
    // Path of a file inside the test's directory, as wide text and as native text.
    std::wstring WidePath(const std::string& szName) const { return m_env.Directory().Wide(szName); }
    std::string NativePath(const std::string& szName) const { return m_env.Directory().Native(szName); }

    // Starts the probe program (built beside the tests) with the arguments and its output on a pipe;
    // szObjectsDir, when not empty, replaces TARVIK_OBJECTS_DIR in the probe. False when it cannot
    // start.
    static bool StartProbe(CTestProcess& probe, const std::vector<std::string>& arguments,
                           const std::string& szObjectsDir = "")
    {
        std::vector<std::string> args = {TARVIK_INI_PROBE};
        args.insert(args.end(), arguments.begin(), arguments.end());
        CTestProcess::SOptions options;
        options.m_bPipeOutput = true;
        if (!szObjectsDir.empty())
            options.m_environment = {{"TARVIK_OBJECTS_DIR", szObjectsDir}};
        return probe.Start(args, options);
    }

    CIsolatedEnvironment m_env;
};
