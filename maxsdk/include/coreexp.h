#pragma once

#include "utilexp.h"
