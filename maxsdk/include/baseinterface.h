// Published interfaces of host and plug-in objects.
#pragma once

#include "maxheap.h"
#include "maxtypes.h"
#include "tab.h"
#include "utilexp.h"

class BaseInterface : public MaxHeapOperators {
public:
    virtual ~BaseInterface() {}
    virtual Interface_ID GetID() { return Interface_ID(0, 0); }
};

class FPInterface : public BaseInterface {};

class InterfaceServer : public MaxHeapOperators {
public:
    virtual ~InterfaceServer() {}
    virtual BaseInterface* GetInterface(Interface_ID id) = 0;
};

// An object that serves a list of interfaces; the list is empty unless the object adds to it.
class BaseInterfaceServer : public InterfaceServer {
protected:
    Tab<BaseInterface*> interfaces;

public:
    UtilExport BaseInterface* GetInterface(Interface_ID id) override;
    UtilExport virtual int NumInterfaces() const;
    UtilExport virtual BaseInterface* GetInterfaceAt(int i) const;
    UtilExport ~BaseInterfaceServer() override;
};
