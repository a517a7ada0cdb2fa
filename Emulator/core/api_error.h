// The C interface's process-wide error number, set by a function that
// refuses its arguments.
#pragma once

enum lv_api_error : int {
  LV_ERR_NONE = 0,
  LV_ERR_NOT_INITIALIZED = 1,
  LV_ERR_INVALID_TERM_REF = 2,
  LV_ERR_BOOT_FAILED = 3,
  LV_ERR_NO_PREDICATE = 4,
  LV_ERR_DEVSYS_FAILED = 5,
  LV_ERR_INVALID_QUERY = 6,
  LV_ERR_NULL_TEXT = 7,
  LV_ERR_EXCEPTION = 10,
  LV_ERR_WRONG_TYPE = 11,
  LV_ERR_BAD_VALUE = 12,
  LV_ERR_BAD_NUMBER = 13,
  LV_ERR_NO_ATOM = 14,
  LV_ERR_SYSTEM = 15,
  LV_ERR_BUFFER_TOO_SMALL = 16,
  LV_ERR_UNKNOWN = 16,
  LV_ERR_NO_MEMORY = 18,
};

void lv_set_api_error(int code);
int lv_get_api_error();
