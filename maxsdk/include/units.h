// The scene's units: the system unit that one scene unit stands for, and how the user
// interface displays lengths.
#pragma once

#include "coreexp.h"
#include "maxheap.h"
#include "strclass.h"

// System unit types.
#define UNITS_INCHES 0
#define UNITS_FEET 1
#define UNITS_MILES 2
#define UNITS_MILLIMETERS 3
#define UNITS_CENTIMETERS 4
#define UNITS_METERS 5
#define UNITS_KILOMETERS 6

// Display types.
#define UNITDISP_GENERIC 0
#define UNITDISP_METRIC 1
#define UNITDISP_US 2
#define UNITDISP_CUSTOM 3

// Metric display options.
#define UNIT_METRIC_DISP_MM 0
#define UNIT_METRIC_DISP_CM 1
#define UNIT_METRIC_DISP_M 2
#define UNIT_METRIC_DISP_KM 3

// US display options.
#define UNIT_US_DISP_FRAC_IN 0
#define UNIT_US_DISP_DEC_IN 1
#define UNIT_US_DISP_FRAC_FT 2
#define UNIT_US_DISP_DEC_FT 3
#define UNIT_US_DISP_FT_FRAC_IN 4
#define UNIT_US_DISP_FT_DEC_IN 5

// How lengths are displayed. A custom unit is customValue units of type customUnit.
struct DispInfo : public MaxHeapOperators {
    int dispType;
    int metricDisp;
    int usDisp;
    int usFrac;
    MSTR customName;
    float customValue;
    int customUnit;
};

// The system unit: one scene unit is scale units of the given type.
CoreExport void GetMasterUnitInfo(int* type, float* scale);
CoreExport int SetMasterUnitInfo(int type, float scale);
CoreExport void GetUnitDisplayInfo(DispInfo* info);
CoreExport int SetUnitDisplayInfo(DispInfo* info);
