// Identifiers of the plug-in's resources, shared by the resource script and the code.
#pragma once

// String table.
#define IDS_CLASS_NAME 1
#define IDS_CATEGORY 2
#define IDS_LONG_DESC 3
#define IDS_WRITE_ERROR 4
#define IDS_AUTHOR 5
#define IDS_COPYRIGHT 6
#define IDS_LIB_DESCRIPTION 7
#define IDS_UNNAMED 8
#define IDS_NODE_ID 9
#define IDS_UNKNOWN 10
#define IDS_NO_ZBUFFER 11
#define IDS_NO_NODE_IDS 12
#define IDS_WARNING 13

// Dialogs and their controls.
#define IDD_ABOUT 111
#define IDD_CONFIGURE 112
#define IDC_USE_MATERIAL_NAMES 50
#define IDC_USE_OBJECT_NAMES 51

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
