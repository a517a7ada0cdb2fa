// Names of the accounts that own files.
#pragma once

#include <cstdint>

#include "lvio/file_status.h"
#include "lvio/result_codes.h"

// The name of the user (owner) or group, in a new lvio_alloc block. With
// flag 1, or when the account database has no entry for it, the text is the
// number instead ("1000"). Both functions take either kind of account.
[[nodiscard]] lvio_code lvio_owner_account_name(const lvio_account_id* account, char** out, uint32_t flags);
[[nodiscard]] lvio_code lvio_group_account_name(const lvio_account_id* account, char** out, uint32_t flags);
