// Receiver of the records of a pending-files list, one by one in list order.
#pragma once

class CDocInfo;

class IFilesListFiller
{
public:
    virtual ~IFilesListFiller() = default;
    // One listed file; nReserved is always 0. Returns whether the walk goes on with the next record.
    virtual bool OnFileListed(CDocInfo& info, int nReserved) = 0;
};
