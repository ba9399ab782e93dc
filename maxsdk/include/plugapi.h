// What a plug-in module announces to the host: its version and its class descriptors.
#pragma once

#include "baseinterface.h"
#include "coreexp.h"
#include "maxheap.h"
#include "maxtypes.h"
#include "strbasic.h"
#include "tab.h"

// The host release the plug-in is built for, packed as LibVersion returns it.
#define MAX_RELEASE 19000
#define MAX_API_NUM 48
#define MAX_SDK_REV 0
#define VERSION_3DSMAX ((MAX_RELEASE << 16) + (MAX_API_NUM << 8) + MAX_SDK_REV)

// Super-class identifiers.
#define BMM_IO_CLASS_ID 0x00000B30

// Class identifiers of the host's own classes (first word; the second is 0).
#define SREND_CLASS_ID 0x00000001

// The running host's release, packed as VERSION_3DSMAX packs it.
CoreExport DWORD Get3DSMAXVersion();

class Interface;

// Describes one plug-in class to the host and makes its objects.
class ClassDesc : public MaxHeapOperators {
private:
    Tab<FPInterface*> interfaces;

public:
    CoreExport virtual ~ClassDesc();
    virtual int IsPublic() = 0;
    virtual void* Create(BOOL loading = FALSE) = 0;
    virtual int BeginCreate(Interface* /*i*/) { return 0; }
    virtual int EndCreate(Interface* /*i*/) { return 0; }
    virtual const MCHAR* ClassName() = 0;
    virtual SClass_ID SuperClassID() = 0;
    virtual Class_ID ClassID() = 0;
    virtual const MCHAR* Category() = 0;
    virtual BOOL OkToCreate(Interface* /*i*/) { return TRUE; }
    virtual BOOL HasClassParams() { return FALSE; }
    virtual void EditClassParams(HWND /*parent*/) {}
    virtual void ResetClassParams(BOOL /*fileReset*/ = FALSE) {}
    virtual const MCHAR* InternalName() { return nullptr; }
    virtual HINSTANCE HInstance() { return nullptr; }
    // The interfaces this class publishes; index checked by Tab.
    virtual int NumInterfaces() { return interfaces.Count(); }
    virtual FPInterface* GetInterfaceAt(int i) { return interfaces[i]; }
    CoreExport virtual FPInterface* GetInterface(Interface_ID id);
    CoreExport virtual void AddInterface(FPInterface* fpi);
    virtual void ClearInterfaces() { interfaces.ZeroCount(); }
};
