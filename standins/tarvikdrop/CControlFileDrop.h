// Hands one printed document to the service: checks that the document is a regular file of the
// printing user in the documents folder, then writes its control file into the incoming folder
// under a temporary name and renames it to <document name>.txt without replacing anything.
#pragma once

#include "CDropConfig.h"

#include <string>
#include <sys/types.h>

class CControlFileDrop
{
public:
    explicit CControlFileDrop(const CDropConfig& config) : m_config(config) {}

    // Writes the control file for the document at szDocument, printed by the account szAccount
    // (user id nUid); the reply address is szAccount@<domain>. True with the control file's path in
    // szResult; false with the reason in szResult when the document is not a non-empty regular file
    // with one link, owned by nUid, directly in the documents folder, or the control file cannot be
    // written. Nothing but the control file (and, on failure, nothing at all) is left behind.
    bool Drop(const std::string& szDocument, const std::string& szAccount, uid_t nUid, std::string& szResult);

    // True for an account name that can stand before '@': letters, digits, '.', '_' and '-', not
    // starting with '.' or '-', at most 64 characters.
    static bool IsAccountName(const std::string& szName);

    // The control file's name for a document name: the name without a final ".pdf" (any letter
    // case), followed by ".txt".
    static std::string ControlName(const std::string& szDocumentName);

private:
    // Writes szContent to a new file in the incoming folder hIncoming and renames it to the control
    // file's name (or name-2.txt ... name-100.txt when taken). False with the reason in szResult.
    bool Write(int hIncoming, const std::string& szBase, const std::string& szContent, std::string& szResult);

    const CDropConfig& m_config;
};
