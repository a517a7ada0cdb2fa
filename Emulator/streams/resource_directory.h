// Resources appended to the end of files: each resource's bytes followed by
// a text trailer
//
//   "\n# META_INFO_SUFFIX 1"
//   "\n# key=\"value\""   (property lines, one of them size="0x<hex>")
//   "\n# META_INFO_SUFFIX END\n"
//
// and several such resources stacked, the last one at the very end of the
// file. The files searched are named by the settings LV_RT_PATH,
// LV_APP_PATH and LV_EMBEDDED_RESOURCES_PATH; a name found in several is
// taken from the file of the later setting. The directory is built once,
// on first use, by reading the trailers backwards from each file's end;
// a resource's bytes are read when first asked for and then kept.
#pragma once

#include <cstdint>

#include "streams/stream.h"

struct lv_resource_prop {
  char* key;  // own copies, NUL-terminated
  char* value;
  lv_resource_prop* next;
};

struct lv_resource_entry {
  int64_t start;  // offset of the first byte in its file; -1 until known
  int64_t size;   // bytes; -1 until known
  uint8_t* bytes;  // read on first use, then kept; null before
  lv_resource_prop* properties;  // in trailer order; size is not among them
  lv_resource_entry* next;
};

struct lv_resource_file {
  lv_stream* stream;  // kept open while the runtime runs; null in the empty record
  lv_resource_entry* resources;  // in file order
  lv_resource_file* next;
};

// Longest property line, its leading newline counted.
constexpr int64_t LV_RESOURCE_LINE_MAX = 500;

// The directory, built on first use: 0, or LVIO_E_OUT_OF_MEMORY. *first is
// the first file to search (null when none holds a resource).
int64_t lv_resource_directory(lv_resource_file** first);

// The resources of one file, in file order, read from the end of the
// stream (a binary input stream): 0 and the list, which stops at the first
// trailer that is damaged, or the failure that ended the scan before any
// resource was found.
int64_t lv_resource_file_scan(lv_stream* stream, lv_resource_entry** list);

// The resource whose "name" property equals name, or whose "file" property
// ends with it; the first in search order. LVIO_E_NOT_FOUND when there is
// none.
int64_t lv_find_resource_node(const char* name, lv_resource_entry** entry);

// Its bytes (read and kept on first use): 0, LVIO_E_NOT_FOUND,
// LVIO_E_OUT_OF_MEMORY or the failure of the read.
int64_t lv_get_resource_bytes(const char* name, const uint8_t** bytes, int64_t* size);

// The value of a property: 0, or LVIO_E_NOT_FOUND.
int64_t lv_resource_property(const lv_resource_entry* entry, const char* key, const char** value);

// Prints the directory on the current output: per resource "Embedded
// resource @<start>, length <size>" and its properties, flushing the
// current output after each when it is an output stream.
void lv_dump_resources();

// Frees the directory, its cached bytes and its files' streams (shutdown).
void lv_free_resource_directory();

// Moves an input stream to the item position: pending output is written
// first, the read buffer dropped and the counters start again there. The
// position reached, or a negative code.
int64_t lv_stream_seek_to(lv_stream* stream, int64_t position);
