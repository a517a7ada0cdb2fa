// Names of the accounts that own files, from the user and group databases.
#include "lvio/accounts.h"

#include <grp.h>
#include <pwd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>

#include "lvio/allocator.h"
#include "lvio/os_error.h"

namespace {

// Looks the account up with a buffer that grows as the database asks:
// the name in a new block, null when there is no entry, or an error.
lvio_code look_up(const lvio_account_id* account, char** name) {
  size_t size = 1024;
  for (;;) {
    auto* buffer = static_cast<char*>(lvio_alloc(size));
    if (buffer == nullptr) return LVIO_E_OUT_OF_MEMORY;
    const char* found = nullptr;
    int error;
    if (account->kind == LVIO_ACCOUNT_GROUP) {
      group entry, *result = nullptr;
      error = getgrgid_r(account->id, &entry, buffer, size, &result);
      if (error == 0 && result != nullptr) found = entry.gr_name;
    } else {
      passwd entry, *result = nullptr;
      error = getpwuid_r(account->id, &entry, buffer, size, &result);
      if (error == 0 && result != nullptr) found = entry.pw_name;
    }
    if (error == ERANGE && size < (size_t{1} << 24)) {
      lvio_free(buffer);
      size *= 4;
      continue;
    }
    *name = found != nullptr ? lvio_strdup(found) : nullptr;
    lvio_free(buffer);
    if (found != nullptr && *name == nullptr) return LVIO_E_OUT_OF_MEMORY;
    return 0;
  }
}

lvio_code account_name(const lvio_account_id* account, char** out, uint32_t flags) {
  if (account == nullptr) return LVIO_E_PARAMETER_ERROR;
  char* name = nullptr;
  if ((flags & 1) == 0) {
    lvio_code rc = look_up(account, &name);
    if (rc == LVIO_E_OUT_OF_MEMORY) return rc;
  }
  if (name == nullptr) {
    char number[16];
    std::snprintf(number, sizeof number, "%" PRIu32, account->id);
    name = lvio_strdup(number);
    if (name == nullptr) return LVIO_E_OUT_OF_MEMORY;
  }
  *out = name;
  return 0;
}

}  // namespace

lvio_code lvio_owner_account_name(const lvio_account_id* account, char** out, uint32_t flags) {
  return account_name(account, out, flags);
}

lvio_code lvio_group_account_name(const lvio_account_id* account, char** out, uint32_t flags) {
  return account_name(account, out, flags);
}
