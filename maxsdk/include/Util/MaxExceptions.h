// The host's exception classes.
#pragma once

#include "../maxheap.h"
#include "../strbasic.h"
#include "../utilexp.h"

#include <string>

namespace MaxSDK {
namespace Util {

class Exception : public MaxHeapOperators {
public:
    UtilExport explicit Exception(const MCHAR* message);
    UtilExport virtual ~Exception();
    UtilExport virtual const MCHAR* GetMessage() const;

private:
    std::wstring message;
};

// Thrown when an index lies outside a container.
class OutOfRangeException : public Exception {
public:
    UtilExport explicit OutOfRangeException(const MCHAR* message);
    UtilExport ~OutOfRangeException() override;
};

// Thrown by Tab's element access for an index outside the table.
class TabOutOfRangeException : public OutOfRangeException {
public:
    UtilExport explicit TabOutOfRangeException(const MCHAR* message);
    UtilExport ~TabOutOfRangeException() override;
};

} // namespace Util
} // namespace MaxSDK
