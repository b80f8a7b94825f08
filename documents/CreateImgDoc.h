// The document factory: picks the document implementation by the file name's extension.
#pragma once

#include <boost/shared_ptr.hpp>

#include "documents/IImgDoc.h"

// A new document for szPath: CQuickPdfDoc for an extension starting with "pdf", CTifDoc for one
// starting with "tif" (compared without regard to case), CNullDoc for anything else. The file is
// not touched; the result is never empty.
boost::shared_ptr<IImgDoc> CreateImgDoc(const wchar_t* szPath);
