// The document factory.
#include "documents/CreateImgDoc.h"

#include <locale>

#include "documents/CNullDoc.h"
#include "documents/CQuickPdfDoc.h"
#include "documents/CTifDoc.h"

namespace
{

// The first three characters after the path's last "." (the whole path when it has none),
// upper-cased through the global locale.
std::wstring ExtensionKey(const std::wstring& szPath)
{
    const size_t nDot = szPath.rfind(L'.');
    std::wstring szKey = (nDot == std::wstring::npos ? szPath : szPath.substr(nDot + 1)).substr(0, 3);
    const std::locale locale;
    for (wchar_t& ch : szKey)
        ch = std::toupper(ch, locale);
    return szKey;
}

} // namespace

boost::shared_ptr<IImgDoc> CreateImgDoc(const wchar_t* szPath)
{
    const std::wstring szFile = szPath ? szPath : L"";
    const std::wstring szKey = ExtensionKey(szFile);
    if (szKey == L"PDF")
        return boost::shared_ptr<IImgDoc>(new CQuickPdfDoc(szFile));
    if (szKey == L"TIF")
        return boost::shared_ptr<IImgDoc>(new CTifDoc(szFile));
    return boost::shared_ptr<IImgDoc>(new CNullDoc());
}
