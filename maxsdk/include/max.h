// The host's main header: everything a plug-in of any kind needs.
#pragma once

#include "baseinterface.h"
#include "coreexp.h"
#include "imtl.h"
#include "maxapi.h"
#include "maxheap.h"
#include "maxtypes.h"
#include "plugapi.h"
#include "strbasic.h"
#include "strclass.h"
#include "tab.h"
#include "utilexp.h"
#include "winutil.h"
