// Fixture: an include along the layering.
#pragma once

#include "low/bottom.h"
