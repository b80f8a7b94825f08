// The document check of the validation.
#include "watch/CFileValidatior.h"

#include "documents/CreateImgDoc.h"
#include "platform/FileSystem.h"

namespace
{

// Files shorter than this are not worth opening: no document of either kind is that small.
constexpr uint32_t kMinDocumentSize = 1024;

// The low 32 bits of the size a directory search reports for szPath; 0 when it finds nothing.
uint32_t CurrentSize(const std::wstring& szPath)
{
    platform::CFindFile find;
    platform::SFindData data;
    if (!find.First(szPath, data))
        return 0;
    return static_cast<uint32_t>(data.nSize & 0xFFFFFFFFu);
}

} // namespace

bool CFileValidatior::Validate(const wchar_t* szPath, int& nPages, std::wstring& szError)
{
    if (CurrentSize(szPath) < kMinDocumentSize)
        return false;
    boost::shared_ptr<IImgDoc> pDoc = CreateImgDoc(szPath);
    const bool bOpened = pDoc->Open(1, szError);
    if (bOpened)
    {
        nPages = pDoc->GetPagesCount();
        pDoc->Close();
    }
    return bOpened;
}
