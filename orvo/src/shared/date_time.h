// TIFF's DateTime text, as both writer generations put it in the colour layer.
#pragma once

#include <string>

// The current moment in UTC, "YYYY:MM:DD HH:MM:SS" (19 characters); empty when the system
// cannot tell it in that form. Both writers then refuse the file with ERANGE's text rather
// than store a false date.
std::string TiffDateTimeNow();
