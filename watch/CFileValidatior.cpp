// The document check of the validation.
#include "watch/CFileValidatior.h"

#include "documents/CreateImgDoc.h"
#include "util/CFileOps.h"

namespace
{

// Files shorter than this are not worth opening: no document of either kind is that small.
constexpr uint32_t kMinDocumentSize = 1024;

} // namespace

bool CFileValidatior::Validate(const wchar_t* szPath, int& nPages, std::wstring& szError)
{
    if (CFileOps::FileSize(szPath) < kMinDocumentSize)
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
