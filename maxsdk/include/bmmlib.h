// The bitmap manager's header for image input/output plug-ins.
#pragma once

#include "bitmap.h"
