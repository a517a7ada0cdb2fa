// Building stream records over layer chains: from a bare chain, over a
// character coder, and from a file name with the open options.
#pragma once

#include <cstdint>

#include "streams/stream.h"

struct lvio_coder_class;

// Creation options of lv_make_stream_from_layers.
constexpr uint32_t LV_MAKE_INPUT = 0x1;
constexpr uint32_t LV_MAKE_OUTPUT = 0x2;
constexpr uint32_t LV_MAKE_APPEND = 0x4;  // implies output
constexpr uint32_t LV_MAKE_BINARY = 0x8;
constexpr uint32_t LV_MAKE_TEXT = 0x10;
constexpr uint32_t LV_MAKE_INTERACTIVE = 0x20;  // an output also flushes at line ends
constexpr uint32_t LV_MAKE_LINE_FLUSH = 0x40;
constexpr uint32_t LV_MAKE_HIDDEN = 0x80;
constexpr uint32_t LV_MAKE_NO_CHAIN = 0x100;  // exactly when the chain is null
constexpr uint32_t LV_MAKE_END_CODE = 0x200;
constexpr uint32_t LV_MAKE_END_RESET = 0x400;
constexpr uint32_t LV_MAKE_STANDARD = 0x800;
constexpr uint32_t LV_MAKE_CLOSING_FLUSH = 0x1000;

// Coder options of lv_make_coded_stream.
constexpr uint32_t LV_CODER_INPUT = 0x1;
constexpr uint32_t LV_CODER_OUTPUT = 0x2;
constexpr uint32_t LV_CODER_MARK = 0x4;       // input: detect a mark; output: write one
constexpr uint32_t LV_CODER_MARK_ONLY_UTF16 = 0x8;  // output: no mark for UTF-8
constexpr uint32_t LV_CODER_IN_LF = 0x10;
constexpr uint32_t LV_CODER_OUT_LF = 0x20;
constexpr uint32_t LV_CODER_IN_CRLF = 0x40;
constexpr uint32_t LV_CODER_OUT_CRLF = 0x80;
constexpr uint32_t LV_CODER_IN_AUTO = 0x100;
constexpr uint32_t LV_CODER_OUT_AUTO = 0x200;
constexpr uint32_t LV_CODER_REPOSITION = 0x400;

// Options of lv_parse_open_options.
constexpr uint32_t LV_OPEN_READ = 0x1;
constexpr uint32_t LV_OPEN_WRITE = 0x2;
constexpr uint32_t LV_OPEN_APPEND = 0x4;
constexpr uint32_t LV_OPEN_BINARY = 0x8;
constexpr uint32_t LV_OPEN_TEXT = 0x10;
constexpr uint32_t LV_OPEN_REPOSITION = 0x20;
constexpr uint32_t LV_OPEN_EXCLUSIVE = 0x40;
constexpr uint32_t LV_OPEN_NAME_LAYER = 0x80;  // "url:" names (streams/url_layer.h)
constexpr uint32_t LV_OPEN_DEVICE_0X80 = 0x100;

// Text flags: what the open found and chose.
constexpr uint32_t LV_TEXT_BOM_FOUND = 0x1;
constexpr uint32_t LV_TEXT_IN_CRLF = 0x8;
constexpr uint32_t LV_TEXT_OUT_CRLF = 0x10;
constexpr uint32_t LV_TEXT_IN_AUTO = 0x20;
constexpr uint32_t LV_TEXT_OUT_AUTO = 0x40;

// End-of-line names.
constexpr int64_t LV_EOL_LF = 30001;
constexpr int64_t LV_EOL_CRLF = 30002;
constexpr int64_t LV_EOL_AUTO = 30003;

// A stream over the chain (null only with LV_MAKE_NO_CHAIN), linked in the
// ring. LVIO_E_PARAMETER_ERROR for bad options, LVIO_E_NOT_READ or
// LVIO_E_NOT_WRITE for a side the chain lacks, LVIO_E_GRANULARITY_ERROR for
// items of the wrong size, LVIO_E_OUT_OF_MEMORY. The chain belongs to the
// stream only on success.
int64_t lv_make_stream_from_layers(lvio_layer* chain, lv_stream** out, uint32_t options);
// A chainless text stream, linked: options 2 input, 4 output, 0x40 hidden;
// null with neither direction.
lv_stream* lv_stream_new_with_flags(uint32_t options);
// Pushes a "char-coder" layer with coders of the classes on the chain: 0,
// LV_STREAM_BOM when a mark was detected, or a negative code. The caller
// keeps its references to the classes.
int64_t lv_make_coded_stream(lvio_layer** chain, lvio_coder_class* read_class, lvio_coder_class* write_class,
                             uint32_t coder_options);
// LVIO_E_NOT_SUPPORTED for reposition mode with a mark to detect or write.
int64_t lv_check_coder_flags(uint32_t coder_options);
// "lf", "crlf", "auto", "os" (= "lf" here) or "default" (the default name):
// LV_EOL_*; LVIO_E_PARAMETER_ERROR otherwise.
int64_t lv_eol_mode_name(const char* name, const char* default_name);
// The coder option (LV_CODER_IN_* or LV_CODER_OUT_*) of an end-of-line mode;
// the lf one for any mode but crlf and auto.
uint32_t lv_coder_eol_option(int64_t mode, bool input);
// Opens the file's chain with a coder for text: 0 or a negative code.
int64_t lv_parse_open_options(lvio_layer** chain, const char* path, const char* encoding, const char* signature,
                              const char* end_of_line, uint32_t* text_flags, uint32_t options);
// Opens a file stream (LV_FOPEN_* options; the encoding argument as for
// LV_fopen).
int64_t lv_stream_open_file(const char* path, uint32_t options, uintptr_t encoding, lv_stream** out);
void lv_stream_apply_text_flags(lv_stream* stream, uint32_t text_flags);
