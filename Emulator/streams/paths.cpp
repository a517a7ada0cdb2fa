// Small helpers on path texts.
#include "streams/paths.h"

const char* lv_path_extension(const char* path) {
  const char* dot = nullptr;
  for (const char* p = path; *p != '\0'; p++) {
    if (*p == '/' || *p == '\\')
      dot = nullptr;
    else if (*p == '.')
      dot = p;
  }
  return dot;
}
