// Tag registration of the plug-in's library generation.
#include "orvo/format.h"
#include "orvo/private_tags.h"

namespace Tessaly {
namespace Orvo {

namespace {

char subfileDataName[] = "QuorvaneSubfileData";

// "Changeable after writing starts" is on: the object-id directory gets its value only when
// the file is closed, long after its strips were written.
const TIFFFieldInfo pluginFields[] = {
    {static_cast<ttag_t>(TagQuorvaneSubfileData), 1, 1, TIFF_LONG, FIELD_CUSTOM, 1, 0,
     subfileDataName},
};

// The process-wide state of the installation. Opens are expected from one thread at a time.
bool extenderPending = true;
TIFFExtendProc parentExtender = nullptr;

// libtiff calls this each time it sets up a directory.
void Extender(TIFF* tif) {
    TIFFMergeFieldInfo(tif, pluginFields, sizeof pluginFields / sizeof pluginFields[0]);
    if (parentExtender != nullptr) {
        parentExtender(tif);
    }
}

} // namespace

void InstallTagExtender() {
    if (extenderPending) {
        extenderPending = false;
        parentExtender = TIFFSetTagExtender(Extender);
    }
}

} // namespace Orvo
} // namespace Tessaly
