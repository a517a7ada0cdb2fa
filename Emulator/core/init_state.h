// Whether start-up has completed (the boot file is loaded).
#pragma once

bool lv_prolog_initialized();
void lv_set_prolog_initialized(bool initialized);
