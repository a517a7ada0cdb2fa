// Read-only data files that a program carries and the runtime finds by
// name: prelinked data resources in the tables the program hands to
// start-up, resource tables linked into the runtime library or the program
// by the build, and (as the last resort) resources appended to files
// (streams/resource_directory.h).
//
// A prelinked or linked-in resource is a container: the 16 bytes "Lorvika
// Resource", the payload length and a time stamp as big-endian 64-bit
// words, then the payload. The container's own size is always known, and a
// payload length that does not fit in it makes the resource absent.
#pragma once

#include <cstdint>

constexpr uint64_t LV_RESOURCE_HEADER_BYTES = 32;

// One entry of a linked-in resource table. The build step
// (tools/resource_table.cmake) makes the table of a library or program
// under the symbol lv_module_resources: entries in file order, ended by one
// whose name is null.
struct lv_module_resource {
  const char* name;     // the resource's path with a-z in upper case ("/BOOT.SAV")
  const uint8_t* data;  // the container
  uint64_t size;        // bytes of the container
};

// A prelinked data resource as the program lays it out: the names table
// points at name, so the data address is the word just before the name and
// the container's size the word before that. The entry's value in the
// values table is null (a non-null value is a prelinked foreign resource).
struct lv_prelinked_data {
  uint64_t size;     // bytes of the container
  const void* data;  // the container; null when it is not linked in
  char name[];       // the escaped resource name (escape_resource_name)
};

// The program's prelinked tables: two parallel null-terminated arrays, kept
// as given (nulls: empty tables). Start-up sets them.
void lv_set_prelinked_tables(const char* const* names, void* const* values);
const char* const* lv_prelinked_names();
void* const* lv_prelinked_values();

// A new LV_malloc C identifier for the text: ASCII letters and digits are
// kept, every other byte becomes "_0x" and two upper-case hexadecimal digits
// ("my-lib" gives "my_0x2Dlib"). Null when memory runs out.
char* escape_resource_name(const char* text);

// A new LV_malloc copy of the name with a-z turned to A-Z; null when memory
// runs out.
char* lv_resource_name_upper(const char* name);

// The container of the linked-in resource of that name (compared in upper
// case): in the runtime library's own table first, then in the main
// program's. Null when there is none; *size is the container's size.
const uint8_t* lv_find_module_resource(const char* name, uint64_t* size);

// The two tables lv_find_module_resource searches (null when a module has
// none); the program's table counts only when the main program itself
// defines it.
const lv_module_resource* lv_own_resource_table();
const lv_module_resource* lv_program_resource_table();

// The payload of a container of size bytes: 1 with its bytes, length and
// time stamp when the header is whole, names itself and gives a length that
// fits; else 0.
int lv_resource_container(const void* container, uint64_t size, const uint8_t** bytes, int64_t* length,
                          int64_t* stamp);

// A resource by name: a prelinked data resource (under the escaped name),
// else a linked-in one, else an appended one (time stamp 0). 1 when found,
// else 0. The bytes stay valid while the runtime runs.
int lv_find_named_resource(const char* name, const uint8_t** bytes, int64_t* length, int64_t* stamp);
