#include "orvo_class_desc.h"

#include "bitmap_io_orvo.h"
#include "resource.h"
#include "saveorvo.h"

int OrvoClassDesc::IsPublic() {
    return 1;
}

void* OrvoClassDesc::Create(BOOL /*loading*/) {
    try {
        BitmapIO* object = new (std::nothrow) BitmapIO_Orvo();
        return object;
    } catch (...) {
        // Nothing may reach the host; a failed construction is a failed allocation to it.
        return nullptr;
    }
}

const MCHAR* OrvoClassDesc::ClassName() {
    return LoadResourceString(IDS_CLASS_NAME);
}

SClass_ID OrvoClassDesc::SuperClassID() {
    return BMM_IO_CLASS_ID;
}

Class_ID OrvoClassDesc::ClassID() {
    return ORVO_CLASS_ID;
}

const MCHAR* OrvoClassDesc::Category() {
    return LoadResourceString(IDS_CATEGORY);
}
