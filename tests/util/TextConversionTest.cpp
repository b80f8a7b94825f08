// The UTF-8 facet (also through a real wide file stream), the code-page conversions, wildcard masks
// and the masked directory search over real directories.
#include "util/TextConversion.h"
#include "platform/Encoding.h"
#include "platform/MessageBox.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"
#include "util/CFileFindEx.h"
#include "util/utf8_conversion.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>

namespace fs = std::filesystem;

namespace
{

::testing::Environment* const g_pEnvironment = ::testing::AddGlobalTestEnvironment(new CIsolatedEnvironment);

std::string Bytes(std::initializer_list<int> values)
{
    std::string szBytes;
    for (int n : values)
        szBytes += static_cast<char>(n);
    return szBytes;
}

// Calls the facet's in() on the bytes with an output buffer of nRoom units.
std::codecvt_base::result In(const std::string& szBytes, size_t nRoom, std::wstring& szOut, size_t& nConsumed)
{
    utf8_conversion facet(1);
    std::mbstate_t state{};
    std::wstring szBuffer(nRoom, L'\0');
    const char* pNext = nullptr;
    wchar_t* pToNext = nullptr;
    auto result = facet.in(state, szBytes.data(), szBytes.data() + szBytes.size(), pNext, szBuffer.data(),
                           szBuffer.data() + szBuffer.size(), pToNext);
    szOut.assign(szBuffer.data(), pToNext);
    nConsumed = static_cast<size_t>(pNext - szBytes.data());
    return result;
}

} // namespace

TEST(Utf8Conversion, WritesAndReadsOneToThreeByteUnits)
{
    const std::wstring szText = {L'A', 0xE9, 0x20AC};
    EXPECT_EQ(utf8_conversion::Encode(szText), Bytes({0x41, 0xC3, 0xA9, 0xE2, 0x82, 0xAC}));
    EXPECT_EQ(utf8_conversion::Decode(Bytes({0x41, 0xC3, 0xA9, 0xE2, 0x82, 0xAC})), szText);
    // Boundaries of the two- and three-byte forms, and a surrogate unit written on its own.
    EXPECT_EQ(utf8_conversion::Encode(std::wstring{0x7F, 0x80, 0x7FF, 0x800, 0xFFFF}),
              Bytes({0x7F, 0xC2, 0x80, 0xDF, 0xBF, 0xE0, 0xA0, 0x80, 0xEF, 0xBF, 0xBF}));
    EXPECT_EQ(utf8_conversion::Encode(std::wstring{0xD83D}), Bytes({0xED, 0xA0, 0xBD}));
}

TEST(Utf8Conversion, CutSequenceWaitsForMoreInput)
{
    std::wstring szOut;
    size_t nConsumed = 0;
    // "A é" and the first two bytes of the euro sign.
    EXPECT_EQ(In(Bytes({0x41, 0xC3, 0xA9, 0xE2, 0x82}), 16, szOut, nConsumed), std::codecvt_base::partial);
    EXPECT_EQ(szOut, (std::wstring{L'A', 0xE9}));
    EXPECT_EQ(nConsumed, 3u);
    // Output room for one unit: one unit comes out, the rest stays unread.
    EXPECT_EQ(In(Bytes({0xC3, 0xA9, 0x41}), 1, szOut, nConsumed), std::codecvt_base::partial);
    EXPECT_EQ(szOut, std::wstring{0xE9});
    EXPECT_EQ(nConsumed, 2u);
}

TEST(Utf8Conversion, NeverDeliversValuesBeyondSixteenBitsOrStrayNuls)
{
    // U+1F600 as four bytes becomes a surrogate pair; a stray continuation byte becomes U+FFFD.
    EXPECT_EQ(utf8_conversion::Decode(Bytes({0xF0, 0x9F, 0x98, 0x80})), (std::wstring{0xD83D, 0xDE00}));
    EXPECT_EQ(utf8_conversion::Decode(Bytes({0x80, 0x41, 0xFF})), (std::wstring{0xFFFD, L'A', 0xFFFD}));
}

TEST(Utf8Conversion, OutStopsBeforeASequenceThatDoesNotFitAndReportsTheRest)
{
    utf8_conversion facet(1);
    std::mbstate_t state{};
    const std::wstring szText = {L'A', 0x20AC};
    char buffer[3];
    const wchar_t* pNext = nullptr;
    char* pToNext = nullptr;
    auto result = facet.out(state, szText.data(), szText.data() + 2, pNext, buffer, buffer + 3, pToNext);
    EXPECT_EQ(result, std::codecvt_base::partial);
    EXPECT_EQ(pNext, szText.data() + 1);
    EXPECT_EQ(pToNext - buffer, 1);
}

TEST(Utf8Conversion, WideFileStreamRoundTrip)
{
    CTempDir dir;
    const fs::path path = dir.Path() / "wide.txt";
    std::wstring szText;
    for (int i = 0; i < 5000; ++i)
        szText += std::wstring{L'x', 0xE9, 0x20AC, L'\n'};
    {
        std::wofstream stream;
        stream.imbue(std::locale(std::locale::classic(), new utf8_conversion));
        stream.open(path, std::ios::binary);
        stream << szText;
    }
    EXPECT_EQ(tests::ReadFile(path), utf8_conversion::Encode(szText));
    std::wifstream input;
    input.imbue(std::locale(std::locale::classic(), new utf8_conversion));
    input.open(path, std::ios::binary);
    std::wstring szRead((std::istreambuf_iterator<wchar_t>(input)), std::istreambuf_iterator<wchar_t>());
    EXPECT_EQ(szRead, szText);
}

TEST(CodePageConversion, Utf8AndLatin1)
{
    wchar_t wide[8];
    ASSERT_EQ(WideFromMultiByte(wide, "\xC3\xA4x", 8, platform::kCodePageUtf8), wide);
    EXPECT_EQ(std::wstring(wide), (std::wstring{0xE4, L'x'}));
    ASSERT_EQ(WideFromMultiByte(wide, "\xE4x", 8, platform::kCodePageLatin1), wide);
    EXPECT_EQ(std::wstring(wide), (std::wstring{0xE4, L'x'}));

    char bytes[8];
    const wchar_t euro[] = {0x20AC, 0};
    ASSERT_EQ(MultiByteFromWide(bytes, euro, 8, platform::kCodePageUtf8), bytes);
    EXPECT_EQ(std::string(bytes), "\xE2\x82\xAC");
    // Not representable in Latin-1, too small a buffer, absent arguments: null and an empty buffer.
    EXPECT_EQ(MultiByteFromWide(bytes, euro, 8, platform::kCodePageLatin1), nullptr);
    EXPECT_EQ(bytes[0], '\0');
    EXPECT_EQ(MultiByteFromWide(bytes, euro, 3, platform::kCodePageUtf8), nullptr);
    EXPECT_EQ(bytes[0], '\0');
    EXPECT_EQ(WideFromMultiByte(wide, nullptr, 8, platform::kCodePageUtf8), nullptr);
    EXPECT_EQ(WideFromMultiByte(nullptr, "a", 8, platform::kCodePageUtf8), nullptr);

    // Letters beyond ASCII fold too (Latin-1 and Latin Extended-A).
    EXPECT_EQ(LowerCase(std::wstring{L'A', 0xC4, 0x11E}), (std::wstring{L'a', 0xE4, 0x11F}));
}

TEST(Wildcards, ConvertedMasksMatchAsFileNames)
{
    EXPECT_EQ(WildcardToRegex(L"*.txt"), L"^.*?\\.txt$");
    EXPECT_EQ(WildcardToRegex(L"a?b"), L"^a.b$");
    EXPECT_EQ(WildcardToRegex(L"report(1)+.pdf"), L"^report\\(1\\)\\+\\.pdf$");
}

class CFileFindExTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* szName :
             {"A.TXT", "b.txt", "c.txt.bak", "txt", "d.pdf", "e.TIF", "~a.pdf", "f(1).pdf"})
            tests::WriteFile(m_dir.Path() / szName, "x");
        fs::create_directories(m_dir.Path() / "sub.dir");
    }

    std::set<std::wstring> Find(const std::wstring& szInclude, const std::wstring& szExclude,
                                bool bRegex = false)
    {
        std::set<std::wstring> names;
        CFileFindEx finder;
        for (bool bFound = finder.FindFile(m_dir.Wide(), szInclude, szExclude, bRegex); bFound;
             bFound = finder.FindNextFile())
        {
            EXPECT_EQ(finder.GetFilePath(),
                      m_dir.Wide() + platform::kPathSeparatorText + finder.GetFileName());
            if (!finder.IsDots())
                names.insert(finder.GetFileName());
        }
        return names;
    }

    CTempDir m_dir;
};

TEST_F(CFileFindExTest, IncludeMaskIgnoresCaseAndMatchesWholeNames)
{
    EXPECT_EQ(Find(L"*.txt", L""), (std::set<std::wstring>{L"A.TXT", L"b.txt", L"sub.dir"}));
}

TEST_F(CFileFindExTest, IncludeAndExcludeLists)
{
    EXPECT_EQ(Find(L"*.pdf|*.tif", L"~*"),
              (std::set<std::wstring>{L"d.pdf", L"e.TIF", L"f(1).pdf", L"sub.dir"}));
    EXPECT_EQ(Find(L"", L"*.txt|*.bak|~*"),
              (std::set<std::wstring>{L"txt", L"d.pdf", L"e.TIF", L"f(1).pdf", L"sub.dir"}));
    EXPECT_EQ(Find(L"f(1).pdf", L""), (std::set<std::wstring>{L"f(1).pdf", L"sub.dir"}));
    EXPECT_EQ(Find(L"^[ab]\\.txt$", L"", true), (std::set<std::wstring>{L"A.TXT", L"b.txt", L"sub.dir"}));
}

TEST_F(CFileFindExTest, BrokenRegexIsReportedAndSkipped)
{
    class CRecorder : public platform::IMessageBoxPresenter
    {
    public:
        int Show(const std::wstring& szText, const std::wstring&, uint32_t) override
        {
            m_texts.push_back(szText);
            return platform::kIdOk;
        }
        std::vector<std::wstring> m_texts;
    } recorder;
    AnnounceDisplayForScriptedPresenter();
    platform::IMessageBoxPresenter* pPrevious = platform::SetMessageBoxPresenter(&recorder);
    std::set<std::wstring> names = Find(L"[unclosed|^d\\.pdf$", L"", true);
    platform::SetMessageBoxPresenter(pPrevious);
    EXPECT_EQ(names, (std::set<std::wstring>{L"d.pdf", L"sub.dir"}));
    ASSERT_EQ(recorder.m_texts.size(), 1u);
    EXPECT_EQ(recorder.m_texts[0].rfind(L"Error on regex [unclosed:", 0), 0u);
}

TEST_F(CFileFindExTest, WithoutMasksThePathIsSearchedAsGiven)
{
    CFileFindEx finder;
    ASSERT_TRUE(finder.FindFile(m_dir.Wide("b.txt")));
    EXPECT_EQ(finder.GetFileName(), L"b.txt");
    EXPECT_EQ(finder.GetFilePath(), m_dir.Wide("b.txt"));
    EXPECT_FALSE(finder.FindNextFile());
    EXPECT_FALSE(finder.FindFile(m_dir.Wide("missing/")));
}
