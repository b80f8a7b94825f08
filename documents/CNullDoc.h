// The document of an unknown file kind: every operation fails and touches none of its outputs.
#pragma once

#include "documents/IImgDoc.h"

class CNullDoc : public IImgDoc
{
public:
    void Close() override {}
    int GetPagesCount() override { return 0; }
    // Fails; szError is left as it was.
    bool Open(int, std::wstring&) override { return false; }
    bool Open(int) override { return false; }
    void RenderPage(CDC*, RECT&, int) override {}
    void GetPageSize(double&, double&) override {}
    void GetPageSizeInPixels(double&, double&) override {}
    // Fails; szError is left as it was.
    bool Append(const std::wstring&, std::wstring&) override { return false; }
    // Fails without calling the listener.
    bool Split(CSplitPlan&, int, ISplitListener*) override { return false; }
};
