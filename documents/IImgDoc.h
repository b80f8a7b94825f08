// The one interface over printed documents (PDF and multipage TIFF): open at a page, count pages,
// measure, render, append and split. Documents are made by CreateImgDoc and held by
// boost::shared_ptr<IImgDoc>; a document is used by one thread at a time.
#pragma once

#include <string>

#include "documents/CDC.h"

class CSplitPlan;
class ISplitListener;

class IImgDoc
{
public:
    // Concrete destructors close the document first.
    virtual ~IImgDoc() {}

    // Releases whatever the last Open acquired; safe without an Open and when called twice.
    virtual void Close() = 0;
    // Number of pages of the open document; valid only after a successful Open.
    virtual int GetPagesCount() = 0;
    // Open(nPage); on failure szError is replaced by the implementation's error text, on success it
    // is left untouched.
    virtual bool Open(int nPage, std::wstring& szError) = 0;
    // Opens the file, selects page nPage (1-based) and records its size; true only if all of that
    // succeeded.
    virtual bool Open(int nPage) = 0;
    // Draws the selected page into rcRect of pDC, turned clockwise by nRotation quarter turns (0..3).
    virtual void RenderPage(CDC* pDC, RECT& rcRect, int nRotation) = 0;
    // Size of the selected page in page units (points for PDF, pixels / 4.2 for TIFF).
    virtual void GetPageSize(double& dWidth, double& dHeight) = 0;
    // Size of the selected page in pixels.
    virtual void GetPageSizeInPixels(double& dWidth, double& dHeight) = 0;
    // Appends every page of szOtherPath (same kind) to this document's file on disk; false with
    // szError set on failure.
    virtual bool Append(const std::wstring& szOtherPath, std::wstring& szError) = 0;
    // Writes this document's pages into one new file per plan item; the plan's cursor moves.
    // pListener may be null; a real document calls its OnSplitResult exactly once.
    virtual bool Split(CSplitPlan& plan, int nPageCount, ISplitListener* pListener) = 0;
};
