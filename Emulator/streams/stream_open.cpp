// Building stream records over layer chains: from a bare chain, over a
// character coder, and from a file name with the open options.
#include "streams/stream_open.h"

#include <cstring>
#include <utility>

#include "core/atoms.h"
#include "core/memory.h"
#include "core/termrefs.h"
#include "lvio/allocator.h"
#include "lvio/char_coder_layer.h"
#include "lvio/chain.h"
#include "lvio/coder.h"
#include "lvio/encoding_detection.h"
#include "lvio/options.h"
#include "streams/file_names.h"
#include "streams/std_streams.h"
#include "streams/stream_api.h"
#include "streams/stream_internal.h"
#include "streams/url_layer.h"

namespace {

constexpr uint32_t DEVICE_READ = 0x1;
constexpr uint32_t DEVICE_WRITE = 0x2;
constexpr uint32_t DEVICE_APPEND = 0x4;
constexpr uint32_t DEVICE_EXCLUSIVE = 0x8;
constexpr uint32_t DEVICE_0X80 = 0x80;

bool one_of(uint32_t word, uint32_t a, uint32_t b) { return ((word & a) != 0) != ((word & b) != 0); }

void unref(lvio_coder_class* cls) {
  if (cls != nullptr) lvio_coder_class_unref(cls);
}

}  // namespace

uint32_t lv_coder_eol_option(int64_t mode, bool input) {
  if (mode == LV_EOL_CRLF) return input ? LV_CODER_IN_CRLF : LV_CODER_OUT_CRLF;
  if (mode == LV_EOL_AUTO) return input ? LV_CODER_IN_AUTO : LV_CODER_OUT_AUTO;
  return input ? LV_CODER_IN_LF : LV_CODER_OUT_LF;
}

int64_t lv_make_stream_from_layers(lvio_layer* chain, lv_stream** out, uint32_t options) {
  if ((options & LV_MAKE_APPEND) != 0) options |= LV_MAKE_OUTPUT;
  if (((options & LV_MAKE_NO_CHAIN) != 0) != (chain == nullptr)) return LVIO_E_PARAMETER_ERROR;
  if ((options & (LV_MAKE_INPUT | LV_MAKE_OUTPUT)) == 0 || !one_of(options, LV_MAKE_BINARY, LV_MAKE_TEXT))
    return LVIO_E_PARAMETER_ERROR;
  bool input = (options & LV_MAKE_INPUT) != 0;
  bool output = (options & LV_MAKE_OUTPUT) != 0;
  uint32_t layer_flags = chain != nullptr ? chain->flags : 0;
  if (chain != nullptr) {
    uint32_t read_size = (layer_flags >> LVIO_LAYER_READ_ITEM_SHIFT) & 7;
    uint32_t write_size = (layer_flags >> LVIO_LAYER_WRITE_ITEM_SHIFT) & 7;
    if (input && output && read_size != write_size) return LVIO_E_PARAMETER_ERROR;
    if (input && (layer_flags & LVIO_LAYER_READ_SIDE) == 0) return LVIO_E_NOT_READ;
    if (output && (layer_flags & LVIO_LAYER_WRITE_SIDE) == 0) return LVIO_E_NOT_WRITE;
    uint32_t size = input ? read_size : write_size;
    if (size != ((options & LV_MAKE_BINARY) != 0 ? 1u : 4u)) return LVIO_E_GRANULARITY_ERROR;
  }
  lv_stream* s = lv_stream_new();
  if (s == nullptr) return LVIO_E_OUT_OF_MEMORY;
  s->chain = chain;
  if (chain == nullptr) s->flags |= LV_STREAM_NULL_DEVICE;
  if ((layer_flags & LVIO_LAYER_MOVABLE_BACK) != 0) s->flags |= LV_STREAM_REPOSITIONABLE;
  static constexpr struct {
    uint32_t option;
    uint32_t flag;
  } map[] = {
      {LV_MAKE_INPUT, LV_STREAM_INPUT},         {LV_MAKE_OUTPUT, LV_STREAM_OUTPUT},
      {LV_MAKE_APPEND, LV_STREAM_APPEND},       {LV_MAKE_BINARY, LV_STREAM_BINARY},
      {LV_MAKE_TEXT, LV_STREAM_TEXT},           {LV_MAKE_INTERACTIVE, LV_STREAM_INTERACTIVE},
      {LV_MAKE_HIDDEN, LV_STREAM_HIDDEN},       {LV_MAKE_END_CODE, LV_STREAM_END_CODE},
      {LV_MAKE_END_RESET, LV_STREAM_END_RESET}, {LV_MAKE_STANDARD, LV_STREAM_STANDARD},
      {LV_MAKE_CLOSING_FLUSH, LV_STREAM_OUT_AUTO},
  };
  for (const auto& m : map)
    if ((options & m.option) != 0) s->flags |= m.flag;
  if (output && (options & (LV_MAKE_INTERACTIVE | LV_MAKE_LINE_FLUSH)) != 0) s->flags |= LV_STREAM_LINE_FLUSH;
  lv_stream_link(s);
  *out = s;
  return 0;
}

lv_stream* lv_stream_new_with_flags(uint32_t options) {
  if ((options & 6) == 0) return nullptr;
  lv_stream* s = lv_stream_new();
  if (s == nullptr) return nullptr;
  s->flags = LV_STREAM_NULL_DEVICE | LV_STREAM_TEXT | ((options & 2) != 0 ? LV_STREAM_INPUT : 0) |
             ((options & 4) != 0 ? LV_STREAM_OUTPUT : 0) | ((options & 0x40) != 0 ? LV_STREAM_HIDDEN : 0);
  lv_stream_link(s);
  return s;
}

int64_t lv_check_coder_flags(uint32_t word) {
  if ((word & LV_CODER_REPOSITION) != 0 && (word & LV_CODER_MARK) != 0) return LVIO_E_NOT_SUPPORTED;
  return 0;
}

int64_t lv_make_coded_stream(lvio_layer** chain, lvio_coder_class* read_class, lvio_coder_class* write_class,
                             uint32_t word) {
  if ((word & LV_CODER_INPUT) == 0) read_class = nullptr;
  if ((word & LV_CODER_OUTPUT) == 0) write_class = nullptr;
  if (read_class != nullptr) lvio_coder_class_ref(read_class);
  if (write_class != nullptr) lvio_coder_class_ref(write_class);
  lvio_t_coder* reader = nullptr;
  lvio_t_coder* writer = nullptr;
  bool mark_found = false;
  int64_t rc = lv_check_coder_flags(word);
  if (rc >= 0 && read_class != nullptr && (word & LV_CODER_MARK) != 0) {
    lvio_coder_class* detected = nullptr;
    int64_t found = lvio_detect_encoding(chain, &detected, LVIO_DETECT_SKIP_UNKNOWN);
    if (found == 0) {
      lvio_coder_class_unref(read_class);
      read_class = detected;
      mark_found = true;
    } else if (found < 0) {
      rc = found;
    }
  }
  bool reposition = (word & LV_CODER_REPOSITION) != 0;
  if (rc >= 0 && read_class != nullptr) {
    uint32_t flags = LVIO_CODER_CREATE_DECODER | ((word & LV_CODER_IN_CRLF) != 0 ? LVIO_CODER_CREATE_CRLF : 0) |
                     ((word & LV_CODER_IN_AUTO) != 0 ? LVIO_CODER_CREATE_AUTO_EOL : 0) |
                     (reposition ? LVIO_CODER_CREATE_FIXED_WIDTH : 0) |
                     (mark_found ? LVIO_CODER_CREATE_BOM | LVIO_CODER_CREATE_NO_UTF8_BOM : 0);
    rc = lvio_coder_create(read_class, &reader, nullptr, flags);
  }
  if (rc >= 0 && write_class != nullptr) {
    // Output end of line "auto" writes a newline as it is on this platform:
    // the encoder gets no end-of-line mode (an 8-bit encoder in "auto" mode
    // would refuse every newline).
    uint32_t flags = ((word & LV_CODER_OUT_CRLF) != 0 ? LVIO_CODER_CREATE_CRLF : 0) |
                     (reposition ? LVIO_CODER_CREATE_FIXED_WIDTH : 0) |
                     ((word & LV_CODER_MARK) != 0 ? LVIO_CODER_CREATE_BOM : 0) |
                     ((word & LV_CODER_MARK_ONLY_UTF16) != 0 ? LVIO_CODER_CREATE_NO_UTF8_BOM : 0);
    rc = lvio_coder_create(write_class, &writer, nullptr, flags);
  }
  if (rc >= 0) {
    lvio_option options[3] = {};
    int n = 0;
    for (auto [name, coder] : {std::pair{LVIO_OPTION_READ_CODER, reader}, std::pair{LVIO_OPTION_WRITE_CODER, writer}}) {
      if (coder == nullptr) continue;
      options[n].name = name;
      options[n].value.kind = LVIO_VALUE_POINTER | LVIO_VALUE_BORROWED;
      options[n].value.pointer = coder;
      n++;
    }
    options[n].value.kind = LVIO_VALUE_END;
    rc = lvio_push_layer_by_name("char-coder", chain, options, reposition ? LVIO_PUSH_ONE_DIRECTION : 0);
  }
  if (rc < 0) {
    lvio_coder_release(reader);
    lvio_coder_release(writer);
  }
  unref(read_class);
  unref(write_class);
  if (rc < 0) return rc;
  return mark_found ? LV_STREAM_BOM : 0;
}

int64_t lv_eol_mode_name(const char* name, const char* default_name) {
  if (name == nullptr) return LVIO_E_PARAMETER_ERROR;
  if (std::strcmp(name, "default") == 0) name = default_name;
  if (std::strcmp(name, "os") == 0) name = "lf";
  if (std::strcmp(name, "crlf") == 0) return LV_EOL_CRLF;
  if (std::strcmp(name, "auto") == 0) return LV_EOL_AUTO;
  if (std::strcmp(name, "lf") == 0) return LV_EOL_LF;
  return LVIO_E_PARAMETER_ERROR;
}

int64_t lv_parse_open_options(lvio_layer** chain, const char* path, const char* encoding, const char* signature,
                              const char* end_of_line, uint32_t* text_flags, uint32_t o) {
  *chain = nullptr;
  *text_flags = 0;
  if ((o & LV_OPEN_APPEND) != 0) o |= LV_OPEN_WRITE;
  uint32_t device = ((o & LV_OPEN_READ) != 0 ? DEVICE_READ : 0) | ((o & LV_OPEN_WRITE) != 0 ? DEVICE_WRITE : 0) |
                    ((o & LV_OPEN_APPEND) != 0 ? DEVICE_APPEND : 0) |
                    ((o & LV_OPEN_EXCLUSIVE) != 0 ? DEVICE_EXCLUSIVE : 0) |
                    ((o & LV_OPEN_DEVICE_0X80) != 0 ? DEVICE_0X80 : 0);
  if (!one_of(o, LV_OPEN_BINARY, LV_OPEN_TEXT)) return LVIO_E_PARAMETER_ERROR;
  bool input = (o & LV_OPEN_READ) != 0;
  bool output = (o & LV_OPEN_WRITE) != 0;
  bool reposition = (o & LV_OPEN_REPOSITION) != 0;
  bool text = (o & LV_OPEN_TEXT) != 0;
  if (!input && !output) return LVIO_E_PARAMETER_ERROR;
  uint32_t word = 0;
  lvio_coder_class* read_class = nullptr;
  lvio_coder_class* write_class = nullptr;
  int64_t rc = 0;
  int64_t eol = LV_EOL_LF;
  if (text) {
    if (input == output || encoding == nullptr || signature == nullptr || end_of_line == nullptr)
      return LVIO_E_PARAMETER_ERROR;
    const char* name = std::strcmp(encoding, "default") == 0 ? "ISO-8859-1" : encoding;
    lvio_coder_class** cls = input ? &read_class : &write_class;
    rc = lvio_coder_class_open(cls, name, nullptr, reposition ? 1 : 0);
    if (rc < 0) return rc;
    if (input) {
      eol = lv_eol_mode_name(end_of_line, reposition ? "lf" : "auto");
      word = LV_CODER_INPUT | lv_coder_eol_option(eol, true);
      if (std::strcmp(signature, "true") == 0 || (std::strcmp(signature, "default") == 0 && !reposition))
        word |= LV_CODER_MARK;
    } else {
      eol = lv_eol_mode_name(end_of_line, reposition ? "lf" : "os");
      word = LV_CODER_OUTPUT | lv_coder_eol_option(eol, false);
      if (std::strcmp(signature, "true") == 0)
        word |= LV_CODER_MARK;
      else if (std::strcmp(signature, "default") == 0 && !reposition && (o & LV_OPEN_APPEND) == 0)
        word |= LV_CODER_MARK | LV_CODER_MARK_ONLY_UTF16;
    }
    if (eol < 0) rc = LVIO_E_INTERNAL_ERROR;
    if (reposition) word |= LV_CODER_REPOSITION;
    if (rc >= 0) rc = lv_check_coder_flags(word);
  }
  if (rc >= 0 && reposition &&
      ((o & (LV_OPEN_NAME_LAYER | LV_OPEN_APPEND)) != 0 || (input && output) || (text && eol != LV_EOL_LF)))
    rc = LVIO_E_SEEK_ERROR;
  if (rc >= 0) {
    lvio_option options[2] = {};
    options[0].name = "pathname";
    options[0].value.kind = LVIO_VALUE_STRING | LVIO_VALUE_BORROWED;
    options[0].value.string = path;
    options[1].value.kind = LVIO_VALUE_END;
    // The file-name layer opens "url:" names (embedded resources).
    if ((o & LV_OPEN_NAME_LAYER) != 0)
      rc = lv_classify_path(chain, options, device & (DEVICE_READ | DEVICE_WRITE));
    else
      rc = lvio_open_device_by_name("async", chain, options, device);
  }
  if (rc >= 0 && reposition && ((*chain)->flags & LVIO_LAYER_MOVABLE_BACK) == 0) rc = LVIO_E_SEEK_ERROR;
  if (rc >= 0 && text) {
    rc = lv_make_coded_stream(chain, read_class, write_class, word);
    if (rc >= 0) {
      if (rc == LV_STREAM_BOM) *text_flags |= LV_TEXT_BOM_FOUND;
      if (input) *text_flags |= eol == LV_EOL_CRLF ? LV_TEXT_IN_CRLF : eol == LV_EOL_AUTO ? LV_TEXT_IN_AUTO : 0;
      if (output) *text_flags |= eol == LV_EOL_CRLF ? LV_TEXT_OUT_CRLF : eol == LV_EOL_AUTO ? LV_TEXT_OUT_AUTO : 0;
      rc = 0;
    }
  }
  unref(read_class);
  unref(write_class);
  if (rc < 0 && *chain != nullptr) {
    (void)lvio_stream_close(chain, LVIO_OP_ABORTIVE);  // the open's failure is reported
    *chain = nullptr;
  }
  return rc;
}

void lv_stream_apply_text_flags(lv_stream* s, uint32_t text_flags) {
  if ((s->flags & LV_STREAM_TEXT) == 0) return;
  if ((s->flags & LV_STREAM_INPUT) != 0) {
    if ((text_flags & LV_TEXT_BOM_FOUND) != 0) s->flags |= LV_STREAM_BOM_FOUND;
    if ((text_flags & LV_TEXT_IN_CRLF) != 0) s->flags |= LV_STREAM_IN_CRLF;
    if ((text_flags & LV_TEXT_IN_AUTO) != 0) s->flags |= LV_STREAM_IN_AUTO;
  }
  if ((s->flags & LV_STREAM_OUTPUT) != 0) {
    if ((text_flags & LV_TEXT_OUT_CRLF) != 0) s->flags |= LV_STREAM_OUT_CRLF;
    if ((text_flags & LV_TEXT_OUT_AUTO) != 0) s->flags |= LV_STREAM_OUT_AUTO;
  }
  lv_stream_update_capabilities(s);
}

int64_t lv_stream_open_file(const char* path, uint32_t f, uintptr_t encoding, lv_stream** out) {
  if (path == nullptr || out == nullptr) return LVIO_E_PARAMETER_ERROR;
  if ((f & LV_FOPEN_APPEND) != 0) f |= LV_FOPEN_WRITE;
  if ((f & LV_FOPEN_NAME_LAYER) != 0) f |= LV_FOPEN_NAME_AS_GIVEN;
  if ((f & (LV_FOPEN_READ | LV_FOPEN_WRITE)) == 0 || !one_of(f, LV_FOPEN_BINARY, LV_FOPEN_TEXT))
    return LVIO_E_PARAMETER_ERROR;
  // The encoding argument: none, [] (all "default") or encoding/3 of atoms.
  const char* names[3] = {nullptr, nullptr, nullptr};
  if ((f & (LV_FOPEN_ENCODING_TERM | LV_FOPEN_ENCODING_REF)) != 0) {
    lv_term t;
    if ((f & LV_FOPEN_ENCODING_TERM) != 0) {
      t = static_cast<lv_term>(encoding);
    } else {
      lv_worker* w = get_current_worker();
      if (w == nullptr || encoding >= static_cast<uintptr_t>(w->termref_top)) return LVIO_E_INTERNAL_ERROR;
      t = lv_term_ref_cell(w, static_cast<lv_term_ref>(encoding));
    }
    t = lv_deref(t);
    if (t == LV_ATOM_NIL) {
      names[0] = names[1] = names[2] = "default";
    } else if (lv_is_struct(t) && lv_struct_cells(t)[0] == lv_make_functor(LV_ATOM_ENCODING_, 3)) {
      for (int i = 0; i < 3; i++) {
        lv_term a = lv_deref(lv_struct_cells(t)[i + 1]);
        if (!lv_is_atom(a)) return LVIO_E_INTERNAL_ERROR;
        names[i] = lv_atom_text(a);
      }
    } else {
      return LVIO_E_INTERNAL_ERROR;
    }
  }
  char* name = nullptr;
  if ((f & LV_FOPEN_NAME_AS_GIVEN) != 0) {
    name = lvio_strdup(path);
    if (name == nullptr) return LVIO_E_OUT_OF_MEMORY;
  } else {
    char* normal = lv_normalize_file_name(path, nullptr, LV_NAME_ROOT_OK);
    if (normal == nullptr) return LVIO_E_PARAMETER_ERROR;
    name = lvio_strdup(normal);
    LV_free(normal);
    if (name == nullptr) return LVIO_E_OUT_OF_MEMORY;
  }
  lv_term atom = lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE);
  if (atom == 0 || LV_register_atom(atom) == 0) {
    lvio_free(name);
    return LVIO_E_PARAMETER_ERROR;
  }
  uint32_t o = (f & (LV_FOPEN_READ | LV_FOPEN_WRITE | LV_FOPEN_APPEND | LV_FOPEN_BINARY | LV_FOPEN_TEXT)) |
               ((f & LV_FOPEN_REPOSITION) != 0 ? LV_OPEN_REPOSITION : 0) |
               ((f & LV_FOPEN_EXCLUSIVE) != 0 ? LV_OPEN_EXCLUSIVE : 0) |
               ((f & LV_FOPEN_NAME_LAYER) != 0 ? LV_OPEN_NAME_LAYER : 0) |
               ((f & LV_FOPEN_DEVICE_0X80) != 0 ? LV_OPEN_DEVICE_0X80 : 0);
  lvio_layer* chain = nullptr;
  uint32_t text_flags = 0;
  int64_t rc = lv_parse_open_options(&chain, name, names[0], names[1], names[2], &text_flags, o);
  lv_stream* s = nullptr;
  if (rc >= 0) {
    uint32_t c = (f & (LV_FOPEN_READ | LV_FOPEN_WRITE | LV_FOPEN_APPEND | LV_FOPEN_BINARY | LV_FOPEN_TEXT)) |
                 ((f & LV_FOPEN_INTERACTIVE) != 0 ? LV_MAKE_INTERACTIVE : 0) |
                 ((f & LV_FOPEN_LINE_FLUSH) != 0 ? LV_MAKE_LINE_FLUSH : 0) |
                 ((f & LV_FOPEN_HIDDEN) != 0 ? LV_MAKE_HIDDEN : 0) |
                 ((f & LV_FOPEN_CREATION_0X1000) != 0 ? LV_MAKE_CLOSING_FLUSH : 0);
    rc = lv_make_stream_from_layers(chain, &s, c);
    if (rc < 0) (void)lvio_stream_close(&chain, LVIO_OP_ABORTIVE);  // the creation's failure is reported
  }
  lvio_free(name);
  if (rc < 0) {
    LV_unregister_atom(atom);
    return rc;
  }
  s->file_name = atom;
  lv_stream_apply_text_flags(s, text_flags);
  *out = s;
  return 0;
}

int64_t LV_fopen(const char* path, uintptr_t encoding, uint32_t options, lv_stream** out) {
  return lv_stream_open_file(path, options, encoding, out);
}
