// FreeImage's multipage file with the message collection's handlers.
#include "documents/fipMultiPageEx.h"

#include "documents/FreeImageMessages.h"

fipMultiPageEx::fipMultiPageEx() : fipMultiPage(TRUE)
{
    ClearFreeImageMessages();
    InstallFreeImageMessageHandler();
}

fipMultiPageEx::~fipMultiPageEx() = default;
