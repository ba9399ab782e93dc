// Interface servers and class descriptors.
#include "baseinterface.h"
#include "plugapi.h"

BaseInterface* BaseInterfaceServer::GetInterface(Interface_ID id) {
    for (int i = 0; i < interfaces.Count(); ++i) {
        if (interfaces[i] != nullptr && interfaces[i]->GetID() == id) {
            return interfaces[i];
        }
    }
    return nullptr;
}

int BaseInterfaceServer::NumInterfaces() const {
    return interfaces.Count();
}

BaseInterface* BaseInterfaceServer::GetInterfaceAt(int i) const {
    return interfaces[i];
}

BaseInterfaceServer::~BaseInterfaceServer() = default;

ClassDesc::~ClassDesc() = default;

FPInterface* ClassDesc::GetInterface(Interface_ID id) {
    for (int i = 0; i < interfaces.Count(); ++i) {
        if (interfaces[i] != nullptr && interfaces[i]->GetID() == id) {
            return interfaces[i];
        }
    }
    return nullptr;
}

void ClassDesc::AddInterface(FPInterface* fpi) {
    if (fpi != nullptr && GetInterface(fpi->GetID()) == nullptr) {
        interfaces.Append(1, &fpi);
    }
}
