// The collector's entry. Until the marking and sliding exist it collects
// nothing and reports no garbage left.
#include "core/gc.h"

int64_t lv_gc(lv_worker*) { return 0; }
