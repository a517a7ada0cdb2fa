// Fixture: an include against the layering.
#pragma once

#include "high/top.h"
