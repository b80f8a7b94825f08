// FreeImage's multipage file, kept in memory, that routes FreeImage's messages into the message
// collection.
#pragma once

#include <FreeImagePlus.h>

class fipMultiPageEx : public fipMultiPage
{
public:
    // Keeps the page cache in memory, empties the message collection and installs its handlers.
    fipMultiPageEx();
    ~fipMultiPageEx() override;
};
