// The control-file parser: turns one control file (8-bit text, "Key: value" lines) into the field
// map of its record, and the lookup of the known fields in such a map.
#pragma once

#include <cstddef>
#include <map>
#include <string>

// The parsed content of one control file: key to value, ordered by plain code-unit comparison of
// the keys; the first occurrence of a key wins.
using FieldMap = std::map<std::wstring, std::wstring>;

// Identifiers of the fields that the control-file record looks up.
enum EFieldId : int
{
    kFieldRespondEmail = 0, // "RespondEmail": address for reports (first choice)
    kFieldCI = 1,           // "#CI": address for reports (second choice)
    kFieldCustomerName = 2, // "#CustomerName"
    kFieldCN = 3,           // "#CN"
    kFieldFax = 4,          // "Fax"
    kFieldDT = 5,           // "#DT"
    kFieldFile = 6,         // "File": path of the document (first choice)
    kFieldSX = 7,           // "#SX": path of the document (second choice)
};

// The field name of an identifier; the empty text for an unknown identifier.
const wchar_t* FieldName(int nFieldId);

// The value of the first of the two fields present in the map (exact, case-sensitive names), even
// when that value is empty; the empty text when neither is present.
std::wstring LookupField(const FieldMap& fields, int nFirstId, int nSecondId);

class CFileParser
{
public:
    // Bounds that keep memory small for any input. Real control files are a few hundred bytes.
    // Reading stops with "Stream has an error state. " at a line longer than kMaxLineBytes or once
    // kMaxFileBytes have been read; the fields found before stay in the map.
    static constexpr size_t kMaxLineBytes = 64 * 1024;
    static constexpr size_t kMaxFileBytes = 1024 * 1024;

    // Stores the map to fill (not owned; it must outlive the parser) and the control file's path,
    // and empties the map.
    CFileParser(FieldMap& target, const std::wstring& szPath);
    virtual ~CFileParser() = default;

    // Reads the file into the map. True when every non-empty line had the delimiter and the file
    // could be read to its end; otherwise false, with "Delimiter wasn't found. " (per line without
    // delimiter) and/or "Stream has an error state. " appended to szMessage.
    bool Parse(std::wstring& szMessage);
    // The same for the control file's bytes read already (at most kMaxFileBytes + 1 of them, so
    // that a file beyond the bound is told).
    bool ParseBytes(const std::string& szData, std::wstring& szMessage);

private:
    FieldMap* m_pTarget;
    std::wstring m_szPath;
};
