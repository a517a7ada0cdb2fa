// "URL:" path names: objects over a resource or a local file with a small
// method table per scheme, for the boot code and the file-name built-ins;
// and "url:" names in the stream open code, which open a read-only memory
// stream over an embedded resource.
//
//   URL:x-lorvika-resource:/boot.sav   the resource "/boot.sav" (read only)
//   URL:file:/home/me/x.pl             a local file
//
// The scheme is matched without regard to ASCII case; the "URL:" prefix of
// an object path is matched exactly, the "url:" prefix of a stream path in
// either case.
#pragma once

#include <cstddef>
#include <cstdint>

#include "streams/stream.h"

struct lvio_option;
struct lv_url_object;

// The methods of a scheme's objects, in their fixed order after the type
// name.
struct lv_url_methods {
  const char* type_name;
  void (*destroy)(lv_url_object* object);
  lv_url_object* (*self)(lv_url_object* object);
  // Null (the status says why) when the object cannot be used.
  lv_url_object* (*check)(lv_url_object* object);
  // The last '.' of the path when it follows the last '/', else null.
  const char* (*extension)(lv_url_object* object);
  lv_url_object* (*recheck)(lv_url_object* object);
  // Mode letters "r", "w", "a", "b" as the scheme accepts them: the object,
  // or null.
  lv_url_object* (*open)(lv_url_object* object, const char* mode);
  // Bytes into destination; the result is the scheme's count (below).
  size_t (*read)(lv_url_object* object, void* destination, size_t size, size_t count);
  // 0, 1 for a failed close, -1 for a null object.
  int (*close)(lv_url_object* object);
  // The next byte, or -1.
  int (*getc)(lv_url_object* object);
};

// Object states.
constexpr int LV_URL_MADE = 0;
constexpr int LV_URL_OPEN = 1;
constexpr int LV_URL_CLOSED = 2;

struct lv_url_object {
  const lv_url_methods* methods;
  char* path;      // own copy, stored after the record
  int64_t status;  // 0, or the failure of the last operation
  union {
    struct {
      int loaded;
      const uint8_t* data;
      int64_t length;
      int64_t stamp;
      const char* name;  // the text after the path's last ':'
      int64_t position;
      int state;
    } resource;
    struct {
      lv_stream* stream;  // null while closed
      int state;
    } file;
  };
};

// "Lorvika Resource URL Object": read gives the number of bytes copied.
extern const lv_url_methods lv_url_resource_methods;
// "Local file URL Object": read gives the number of whole items read.
extern const lv_url_methods lv_url_file_methods;

struct lv_url_scheme {
  const char* scheme;  // "*" matches every path
  lv_url_object* (*open)(const char* text);
};

// In search order, ended by a null scheme.
extern const lv_url_scheme lv_url_scheme_table[];

// The object of a "URL:<scheme>:<rest>" path, or null.
lv_url_object* lv_url_open(const char* path);
// Runs the close method, then destroys the object.
void lv_url_close(lv_url_object* object);
// The next byte, or -1 (also for a null object).
int lv_url_getc(lv_url_object* object);

// The scheme openers, given the text after "URL:": a resource object
// (looked up at once) or a file object (the name only checked); null when
// there is none.
lv_url_object* lv_url_resource_open(const char* text);
lv_url_object* lv_url_file_open(const char* text);

// 1 when the path is a "URL:" path whose object opens for reading, else 0.
int lv_url_path_opens(const char* path);

// The device opener of the stream open code for "url:" names: from the
// option list's "pathname", a read-only memory device over the resource's
// bytes in *chain. Direction bits: 1 read, 2 write.
// LVIO_E_INVALID_NAME (no "url:" prefix or nothing after it),
// LVIO_E_NOT_SUPPORTED (another scheme), LVIO_E_PARAMETER_ERROR (no
// resource name, or no direction), LVIO_E_PERMISSION_ERROR (writing),
// LVIO_E_FILE_NOT_FOUND.
int64_t lv_classify_path(struct lvio_layer** chain, const lvio_option* options, uint32_t direction);
