// $large_data(Index, Box, Value): word Index of a number box (the header is
// word 0) as a signed integer.
#pragma once

#include "core/worker.h"

int prolog_large_data(lv_worker* w);
