// The class descriptor through which the host learns of the plug-in's one class and makes
// its objects.
#pragma once

#include "max.h"

#define ORVO_CLASS_ID Class_ID(0x1DED7A21, 0x4F40539E)

class OrvoClassDesc : public ClassDesc {
public:
    int IsPublic() override;
    // A new BitmapIO_Orvo from the host's heap, owned by the host from here on; null when
    // the allocation fails.
    void* Create(BOOL loading = FALSE) override;
    const MCHAR* ClassName() override;
    SClass_ID SuperClassID() override;
    Class_ID ClassID() override;
    const MCHAR* Category() override;
};
