// The C interface's error number.
#include "core/api_error.h"

namespace {

int api_error;

}  // namespace

void lv_set_api_error(int code) { api_error = code; }

int lv_get_api_error() { return api_error; }
