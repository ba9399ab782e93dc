// The host's character type: UTF-16 code units in wchar_t, as everywhere in this project.
#pragma once

typedef wchar_t MCHAR;

#define _M(text) L##text
