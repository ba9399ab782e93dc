// Export markers of the host's libraries (maxutil, core, geom, bmm). The stand-in's build sets
// MAXSDK_STANDIN_EXPORT to the compiler's export or import marker where the platform needs
// one; elsewhere every symbol of a shared library is visible and the markers are empty.
#pragma once

#ifndef MAXSDK_STANDIN_EXPORT
#define MAXSDK_STANDIN_EXPORT
#endif

#define UtilExport MAXSDK_STANDIN_EXPORT
#define CoreExport MAXSDK_STANDIN_EXPORT
#define GeomExport MAXSDK_STANDIN_EXPORT
#define BMMExport MAXSDK_STANDIN_EXPORT
