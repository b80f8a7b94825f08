// Control-file parser: delimiter choice, key and value forms, first-wins, failures and bounds.
#include "engine/CFileParser.h"
#include "tests/support/CTempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace
{

class FileParserTest : public ::testing::Test
{
protected:
    std::wstring Write(const std::string& szContent)
    {
        std::filesystem::path path = m_dir / "control.txt";
        std::ofstream(path, std::ios::binary) << szContent;
        return path.wstring();
    }

    bool Parse(const std::string& szContent, FieldMap& fields, std::wstring& szMessage)
    {
        CFileParser parser(fields, Write(szContent));
        return parser.Parse(szMessage);
    }

    CTempDir m_temp{"parser"};
    const std::filesystem::path m_dir = m_temp.Path();
};

TEST_F(FileParserTest, ColonLinesGiveTrimmedValuesAndExactKeys)
{
    FieldMap fields;
    std::wstring szMessage;
    EXPECT_TRUE(
        Parse("File: /spool/a.pdf\r\nRespondEmail:x@y.z\r\nFile : other\nfile: lower\n#CI:  c:d:e \t\r\n",
              fields, szMessage));
    EXPECT_EQ(szMessage, L"");
    EXPECT_EQ(fields[L"File"], L"/spool/a.pdf");
    EXPECT_EQ(fields[L"RespondEmail"], L"x@y.z");
    EXPECT_EQ(fields[L"File "], L"other"); // blank before the colon stays in the key
    EXPECT_EQ(fields[L"file"], L"lower");
    EXPECT_EQ(fields[L"#CI"], L"c:d:e"); // only the first colon splits
    EXPECT_EQ(LookupField(fields, kFieldFile, kFieldSX), L"/spool/a.pdf");
}

TEST_F(FileParserTest, FirstLineWithoutColonMakesBlankTheDelimiter)
{
    FieldMap fields;
    std::wstring szMessage;
    EXPECT_TRUE(Parse("File /a.pdf\nRespondEmail: x\n", fields, szMessage));
    EXPECT_EQ(fields[L"File"], L"/a.pdf");
    EXPECT_EQ(fields[L"RespondEmail:"], L"x");
}

TEST_F(FileParserTest, FirstOccurrenceWinsAndEmptyValueHidesSecondChoice)
{
    FieldMap fields;
    std::wstring szMessage;
    EXPECT_TRUE(Parse("File:\n#SX: /b.pdf\nFile: /c.pdf\n", fields, szMessage));
    EXPECT_EQ(fields.size(), 2u);
    EXPECT_EQ(LookupField(fields, kFieldFile, kFieldSX), L"");
    fields.erase(L"File");
    EXPECT_EQ(LookupField(fields, kFieldFile, kFieldSX), L"/b.pdf");
    EXPECT_EQ(LookupField(FieldMap(), kFieldRespondEmail, kFieldCI), L"");
}

TEST_F(FileParserTest, LineWithoutDelimiterIsReportedEvenAfterFinalLineBreak)
{
    FieldMap fields;
    std::wstring szMessage;
    // The empty lines, inside and at the end, neither hide the failure nor cause one.
    EXPECT_FALSE(Parse("File: /a.pdf\n\nnodelimiter\nFax: 1\n\n", fields, szMessage));
    EXPECT_EQ(szMessage, L"Delimiter wasn't found. ");
    EXPECT_EQ(fields[L"Fax"], L"1");
    szMessage.clear();
    EXPECT_TRUE(Parse("\nFile: /a.pdf\n\n\nFax: 2", fields, szMessage));
    EXPECT_EQ(fields[L"Fax"], L"2");
}

TEST_F(FileParserTest, MissingFileGivesStreamErrorAndEmptiesTheMap)
{
    FieldMap fields{{L"Old", L"value"}};
    std::wstring szMessage = L"before ";
    CFileParser parser(fields, (m_dir / "missing.txt").wstring());
    EXPECT_TRUE(fields.empty());
    EXPECT_FALSE(parser.Parse(szMessage));
    EXPECT_EQ(szMessage, L"before Stream has an error state. ");
}

TEST_F(FileParserTest, BytesAreWidenedOneToOne)
{
    FieldMap fields;
    std::wstring szMessage;
    EXPECT_TRUE(Parse("\xEF\xBB\xBF"
                      "File: /r\xE4t.pdf\n",
                      fields, szMessage));
    EXPECT_EQ(fields.count(L"File"), 0u); // the mark becomes three characters before the key
    EXPECT_EQ(fields[L"\u00EF\u00BB\u00BF"
                     L"File"],
              L"/r\u00E4t.pdf");
}

TEST_F(FileParserTest, HugeInputStaysBounded)
{
    FieldMap fields;
    std::wstring szMessage;
    // One line far beyond the line bound: reading stops there, earlier fields stay.
    std::string szLong =
        "File: /a.pdf\nX: " + std::string(CFileParser::kMaxLineBytes + 10, 'x') + "\nFax: 3\n";
    EXPECT_FALSE(Parse(szLong, fields, szMessage));
    EXPECT_EQ(szMessage, L"Stream has an error state. ");
    EXPECT_EQ(fields[L"File"], L"/a.pdf");
    EXPECT_EQ(fields.count(L"Fax"), 0u);

    // Many short lines beyond the file bound.
    std::string szMany;
    for (int i = 0; szMany.size() <= CFileParser::kMaxFileBytes; ++i)
        szMany += "K" + std::to_string(i) + ": v\n";
    szMessage.clear();
    EXPECT_FALSE(Parse(szMany, fields, szMessage));
    EXPECT_EQ(szMessage, L"Stream has an error state. ");
    EXPECT_LT(fields.size(), CFileParser::kMaxFileBytes / 6);
}

} // namespace
