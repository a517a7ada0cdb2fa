// The console's line editor. Keys typed into the window edit the line at
// the cursor; Enter accepts it and the editor hands it out one character
// per call, then a newline. A line of three units or more that differs from
// the one stored last stays in the history ring, which the history file
// carries from one run to the next.
//
// Lines are UTF-16 units, as the window deals in. A character above U+FFFF
// takes two units: it is handed out, stored and written to the history file
// as the one character it is, and the cursor keys and deletions step over
// it whole.
//
// The screen follows the line through the window's own writes: unit 8
// moves the cursor back one unit, a space blanks one.
//
// A read waits for a key through the runtime, so that an interrupt ends the
// wait once the runtime has taken it in: the read that fails as
// interrupted is then followed by the interrupt's handling, not by another
// wait for a key.
#include <cstring>

#include "lvcon/lvcon.h"
#include "lvcon/lvcon_utf16.h"
#include "lvwin.h"
#include "lvwin_runtime.h"

namespace {

constexpr char16_t BACKSPACE_UNIT = 8;
constexpr char16_t NEWLINE = 10;
constexpr int DEFAULT_LINES = 25;
constexpr int DEFAULT_SAVE = 1;
constexpr size_t LINE_BYTES = LVWIN_LINE_UNITS * sizeof(char16_t);

// Keys.
enum : int {
  CTRL_A = 1, CTRL_B = 2, CTRL_D = 4, CTRL_E = 5, CTRL_F = 6, BACKSPACE = 8, TAB = 9, ENTER = 10, CTRL_K = 11,
  RETURN = 13, CTRL_N = 14, CTRL_P = 16, CTRL_Q = 17, CTRL_R = 18, CTRL_S = 19, CTRL_U = 21, CTRL_V = 22,
  CTRL_Z = 26, TWO_CODE_PREFIX = 0,
};
// Scan codes of the two-code keys.
enum : int {
  KEY_HOME = 71, KEY_UP = 72, KEY_LEFT = 75, KEY_RIGHT = 77, KEY_END = 79, KEY_DOWN = 80, KEY_DELETE = 83,
};

int32_t length(const char16_t* s) {
  int32_t n = 0;
  while (s[n] != 0) n++;
  return n;
}

// The units of the character that starts at p (0 at the end of the line).
int32_t char_units(const char16_t* p) {
  if (*p == 0) return 0;
  return utf16_is_high(p[0]) && utf16_is_low(p[1]) ? 2 : 1;
}
// The units of the character that ends just before p, p after the start.
int32_t char_units_before(const char16_t* start, const char16_t* p) {
  return p - start >= 2 && utf16_is_low(p[-1]) && utf16_is_high(p[-2]) ? 2 : 1;
}

char16_t* line(lvwin_line_editor* e) { return e->slots[e->current]; }
int32_t tail_length(lvwin_line_editor* e) { return length(e->cursor); }

void show(const char16_t* units, int32_t n) {
  if (n > 0) rlc_writeW(units, n);
}

void repeat(const char16_t* buffer, int32_t n) {
  while (n > 0) {
    int32_t k = n < LVWIN_LINE_UNITS ? n : LVWIN_LINE_UNITS;
    show(buffer, k);
    n -= k;
  }
}

void move_back(lvwin_line_editor* e, int32_t n) { repeat(e->backspaces, n); }

void blank(lvwin_line_editor* e, int32_t n) {
  repeat(e->spaces, n);
  move_back(e, n);
}

void to_start(lvwin_line_editor* e) {
  move_back(e, e->column);
  e->cursor = line(e);
  e->column = 0;
}

void empty_line(lvwin_line_editor* e) {
  line(e)[0] = 0;
  e->cursor = line(e);
  e->column = 0;
}

// Inserts n units at the cursor when the line has room for them.
void insert(lvwin_line_editor* e, const char16_t* units, int32_t n) {
  int32_t total = length(line(e));
  if (total + n > LVWIN_LINE_MAX) return;
  int32_t tail = tail_length(e);
  std::memmove(e->cursor + n, e->cursor, (static_cast<size_t>(tail) + 1) * sizeof(char16_t));
  std::memcpy(e->cursor, units, static_cast<size_t>(n) * sizeof(char16_t));
  show(e->cursor, n + tail);
  move_back(e, tail);
  e->cursor += n;
  e->column += n;
}

void insert_unit(lvwin_line_editor* e, char16_t u) { insert(e, &u, 1); }

// Removes n units at the cursor and shows the rest of the line in their place.
void remove_at_cursor(lvwin_line_editor* e, int32_t n) {
  int32_t tail = tail_length(e) - n;
  std::memmove(e->cursor, e->cursor + n, (static_cast<size_t>(tail) + 1) * sizeof(char16_t));
  show(e->cursor, tail);
  show(e->spaces, 1);
  move_back(e, tail + 1);
}

void back_one(lvwin_line_editor* e) {
  if (e->column <= 0) return;
  int32_t n = char_units_before(line(e), e->cursor);
  e->cursor -= n;
  e->column -= n;
  move_back(e, n);
}

void forward_one(lvwin_line_editor* e) {
  int32_t n = char_units(e->cursor);
  if (e->column >= LVWIN_LINE_MAX || n == 0) return;
  show(e->cursor, n);
  e->cursor += n;
  e->column += n;
}

void to_end(lvwin_line_editor* e) {
  int32_t tail = tail_length(e);
  show(e->cursor, tail);
  e->cursor += tail;
  e->column += tail;
}

void delete_under(lvwin_line_editor* e) {
  int32_t n = char_units(e->cursor);
  if (n > 0) remove_at_cursor(e, n);
}

void delete_before(lvwin_line_editor* e) {
  if (e->column <= 0) return;
  int32_t n = char_units_before(line(e), e->cursor);
  e->cursor -= n;
  e->column -= n;
  move_back(e, n);
  remove_at_cursor(e, n);
}

void kill_tail(lvwin_line_editor* e) {
  blank(e, tail_length(e));
  *e->cursor = 0;
}

int32_t wrap(lvwin_line_editor* e, int32_t slot) {
  if (slot < 0) return e->slot_count - 1;
  return slot >= e->slot_count ? 0 : slot;
}

bool same_text(const char16_t* a, const char16_t* b) {
  while (*a != 0 && *a == *b) a++, b++;
  return *a == *b;
}

// Whether two lines begin with the same character.
bool same_first(const char16_t* a, const char16_t* b) {
  return a[0] == b[0] && (!utf16_is_high(a[0]) || a[1] == b[1]);
}

// A history step (search false) or search (true) in direction d: the line
// shows the first slot that qualifies. A search looks for a line that begins
// as the one being edited; after N lines without one it steps instead.
void history(lvwin_line_editor* e, int32_t d, bool search) {
  char16_t* edited = line(e);
  to_start(e);
  blank(e, length(edited));
  int32_t candidates = 0;
  for (int32_t moves = 0; moves < 2 * e->slot_count; moves++) {
    e->browse = wrap(e, e->browse + d);
    const char16_t* slot = e->slots[e->browse];
    if (slot[0] == 0) continue;
    if (search) {
      if (same_first(slot, edited)) break;
      if (++candidates < e->slot_count) continue;
      search = false;  // N lines without a match: from this one on a step
    }
    if (e->browse != e->current) break;
  }
  if (e->slots[e->browse] != edited) std::memcpy(edited, e->slots[e->browse], LINE_BYTES);
  e->cursor = edited;
  e->column = 0;
  to_end(e);
}

void list_history(lvwin_line_editor* e) {
  static const char16_t marker[] = {NEWLINE, '>', ' ', ' ', ' ', ' '};
  e->browse = e->current;
  for (int32_t i = 0; i < e->slot_count; i++) {
    e->browse = wrap(e, e->browse + 1);
    const char16_t* slot = e->slots[e->browse];
    if (slot[0] == 0 || e->browse == e->current) continue;
    show(marker, 6);
    show(slot, length(slot));
  }
  char16_t newline = NEWLINE;
  show(&newline, 1);
  show(line(e), length(line(e)));
  move_back(e, tail_length(e));
}

// The next character of the accepted line (its newline last); the line
// goes by the pending count, which the call after the newline finds at 0.
int64_t hand_out(lvwin_line_editor* e) {
  if (e->pending > 1) {
    char16_t u = e->read_position[0];
    if (utf16_is_high(u) && utf16_is_low(e->read_position[1]) && e->pending > 2) {
      int64_t c = utf16_join(u, e->read_position[1]);
      e->read_position += 2;
      e->pending -= 2;
      return c;
    }
    e->read_position++;
    e->pending--;
    return u;
  }
  e->pending = 0;
  return NEWLINE;
}

// The line just handed out stays in the history when it has three units or
// more and differs from the line stored last; then the next slot is edited.
void start_line(lvwin_line_editor* e) {
  char16_t* done = line(e);
  if (length(done) >= 3 && (e->last_stored == nullptr || !same_text(done, e->last_stored))) {
    e->last_stored = done;
    e->current = wrap(e, e->current + 1);
  }
  empty_line(e);
  e->read_position = e->cursor;
  e->browse = e->current;
  e->mode = LVWIN_READ_KEY;
}

// Enter: the line is accepted and its first character handed out.
int64_t accept(lvwin_line_editor* e) {
  to_end(e);
  char16_t newline = NEWLINE;
  show(&newline, 1);
  e->cursor = line(e);
  e->column = 0;
  e->read_position = line(e);
  e->pending = length(line(e)) + 1;
  e->mode = LVWIN_HAND_OUT;
  return hand_out(e);
}

int64_t end_of_file(lvwin_line_editor* e) {
  to_start(e);
  blank(e, length(line(e)));
  empty_line(e);
  e->pending = 0;
  e->mode = LVWIN_HAND_OUT;
  return LVIO_E_END_OF_FILE;
}

// A unit typed as text. The halves of a pair are inserted together; a half
// without its partner is dropped.
void type_unit(lvwin_line_editor* e, char16_t u) {
  if (utf16_is_high(u)) {
    e->high = u;
    return;
  }
  char16_t high = e->high;
  e->high = 0;
  if (utf16_is_low(u)) {
    if (high != 0) {
      char16_t pair[2] = {high, u};
      insert(e, pair, 2);
    }
    return;
  }
  insert_unit(e, u);
}

// The keys that the two-code keys stand for.
int two_code_key(int scan) {
  switch (scan) {
    case KEY_HOME: return CTRL_A;
    case KEY_END: return CTRL_E;
    case KEY_LEFT: return CTRL_B;
    case KEY_RIGHT: return CTRL_F;
    case KEY_UP: return CTRL_P;
    case KEY_DOWN: return CTRL_N;
    case KEY_DELETE: return CTRL_D;
    default: return -1;
  }
}

// Acts on a key; true when the key ends the editing (the result is then in
// *result).
bool act(lvwin_line_editor* e, int key, int64_t* result) {
  if (!utf16_is_low(static_cast<uint32_t>(key))) e->high = 0;
  switch (key) {
    case CTRL_Z: *result = end_of_file(e); return true;
    case ENTER: case RETURN: *result = accept(e); return true;
    case TWO_CODE_PREFIX: e->mode = LVWIN_SECOND_CODE; return false;
    case CTRL_A: to_start(e); return false;
    case CTRL_U:
      to_start(e);
      blank(e, length(line(e)));
      empty_line(e);
      return false;
    case CTRL_B: back_one(e); return false;
    case CTRL_F: forward_one(e); return false;
    case CTRL_E: to_end(e); return false;
    case CTRL_D: delete_under(e); return false;
    case BACKSPACE: delete_before(e); return false;
    case CTRL_K: kill_tail(e); return false;
    case TAB: insert_unit(e, ' '); return false;
    case CTRL_N: history(e, 1, false); return false;
    case CTRL_P: history(e, -1, false); return false;
    case CTRL_S: history(e, 1, true); return false;
    case CTRL_R: history(e, -1, true); return false;
    case CTRL_Q: e->mode = LVWIN_QUOTED; return false;
    case CTRL_V: list_history(e); return false;
    default:
      // The other control keys do nothing; every other key is text.
      if (key >= 32) type_unit(e, static_cast<char16_t>(key));
      return false;
  }
}

// The next key, or one of the window's negative results.
int read_key(uint32_t flags) {
  for (;;) {
    int key = rlc_getchW(0);
    if (key != RLC_NO_INPUT || flags != 0) return key;
    int64_t rc = rt::wait_readable(rlc_input_handle());
    if (rc == LVIO_E_INTERRUPTED) return RLC_INTERRUPTED;
    if (rc < 0) return RLC_READ_ERROR;
  }
}

void free_editor(lvwin_line_editor* e) {
  if (e->spaces != nullptr) rt::free(e->spaces);
  if (e->backspaces != nullptr) rt::free(e->backspaces);
  for (char16_t* slot : e->slots)
    if (slot != nullptr) rt::free(slot);
  rt::free(e);
}

// Fills the slots from the history file, oldest first, leaving the slot
// after the last line loaded to be edited. A line longer than a slot goes on
// in the next one; a character that takes two units is never split.
void load_history(lvwin_line_editor* e) {
  lv_stream* s = lvwin_open_file(LVWIN_HISTORY_FILE, false);
  if (s == nullptr) return;
  int64_t carried = -1;  // a character that did not fit the slot before
  bool more = true;
  while (more && e->current + 1 < e->slot_count) {
    char16_t* slot = e->slots[e->current];
    int32_t n = 0;
    for (;;) {
      int64_t c = carried >= 0 ? carried : rt::get_code(s);
      carried = -1;
      if (c < 0) {
        more = false;
        break;
      }
      if (c == NEWLINE) break;
      if (c == 0 || utf16_is_surrogate(static_cast<uint32_t>(c)) || c > 0x10FFFF) continue;  // no character of a line
      int32_t units = c >= 0x10000 ? 2 : 1;
      if (n + units > LVWIN_LINE_MAX) {
        carried = c;
        break;
      }
      if (units == 2) {
        slot[n++] = utf16_high_of(static_cast<uint32_t>(c));
        slot[n++] = utf16_low_of(static_cast<uint32_t>(c));
      } else {
        slot[n++] = static_cast<char16_t>(c);
      }
    }
    slot[n] = 0;
    if (n > 0) e->current++;
  }
  (void)rt::fclose(s);
}

// Writes the ring oldest first, without the line being edited; stops at the
// first write that fails.
void save_history(lvwin_line_editor* e) {
  lv_stream* s = lvwin_open_file(LVWIN_HISTORY_FILE, true);
  if (s == nullptr) return;
  bool ok = true;
  for (int32_t slot = wrap(e, e->current + 1); ok && slot != e->current; slot = wrap(e, slot + 1)) {
    const char16_t* p = e->slots[slot];
    if (p[0] == 0) continue;
    while (ok && *p != 0) {
      int64_t c = *p++;
      if (utf16_is_high(static_cast<uint32_t>(c)) && utf16_is_low(*p)) c = utf16_join(static_cast<uint32_t>(c), *p++);
      ok = rt::put_code(s, c) >= 0;
    }
    ok = ok && rt::put_code(s, NEWLINE) >= 0;
  }
  (void)rt::fclose(s);
}

}  // namespace

int lvwin_line_editor_create(lvwin_line_editor** place) {
  auto* e = static_cast<lvwin_line_editor*>(rt::malloc(sizeof(lvwin_line_editor)));
  if (e == nullptr) return static_cast<int>(LVIO_E_OUT_OF_MEMORY);
  std::memset(e, 0, sizeof *e);
  int64_t lines = lvwin_read_setting("lines", DEFAULT_LINES);
  e->slot_count = static_cast<int32_t>(lines + 1 < 1 ? 1 : lines + 1 > LVWIN_MAX_SLOTS ? LVWIN_MAX_SLOTS : lines + 1);
  for (int32_t i = 0; i < e->slot_count; i++) {
    e->slots[i] = static_cast<char16_t*>(rt::malloc(LINE_BYTES));
    if (e->slots[i] == nullptr) {
      free_editor(e);
      return static_cast<int>(LVIO_E_OUT_OF_MEMORY);
    }
    e->slots[i][0] = 0;
  }
  e->current = 0;
  if (lvwin_read_setting("save", DEFAULT_SAVE) != 0 && e->slot_count > 1) load_history(e);
  e->cursor = e->read_position = line(e);
  for (int32_t i = e->current; i < e->slot_count; i++) e->slots[i][0] = 0;
  e->spaces = static_cast<char16_t*>(rt::malloc(LINE_BYTES));
  e->backspaces = static_cast<char16_t*>(rt::malloc(LINE_BYTES));
  if (e->spaces == nullptr || e->backspaces == nullptr) {
    free_editor(e);
    return static_cast<int>(LVIO_E_OUT_OF_MEMORY);
  }
  for (int i = 0; i < LVWIN_LINE_UNITS; i++) {
    e->spaces[i] = ' ';
    e->backspaces[i] = BACKSPACE_UNIT;
  }
  e->mode = LVWIN_HAND_OUT;
  e->pending = 0;
  e->last_stored = nullptr;
  *place = e;
  return 0;
}

void lvwin_line_editor_close(lvwin_line_editor* e) {
  // A ring of one slot keeps no line: the file, never read then, is left as it is.
  if (e->slot_count > 1 && lvwin_read_setting("save", DEFAULT_SAVE) != 0) save_history(e);
  free_editor(e);
}

void lvwin_line_editor_free(lvwin_line_editor* e) { free_editor(e); }

int64_t lvwin_line_editor_getc(lvwin_line_editor* e, uint32_t flags) {
  for (;;) {
    int key = 0;
    if (e->mode == LVWIN_HAND_OUT) {
      if (e->pending > 0) return hand_out(e);
      start_line(e);
      continue;
    }
    if (e->mode != LVWIN_READ_KEY && e->mode != LVWIN_SECOND_CODE && e->mode != LVWIN_QUOTED)
      return LVIO_E_INTERNAL_ERROR;
    key = read_key(flags);
    if (key == RLC_NO_INPUT) return LVIO_E_WOULD_BLOCK;
    if (key == RLC_INTERRUPTED) return LVIO_E_INTERRUPTED;
    if (key < RLC_NO_INPUT) return LVIO_E_IMPOSSIBLE_ERROR;
    if (key == RLC_END_OF_INPUT) return end_of_file(e);
    int64_t result = 0;
    switch (e->mode) {
      case LVWIN_SECOND_CODE:
        e->mode = LVWIN_READ_KEY;
        key = two_code_key(key);
        if (key >= 0 && act(e, key, &result)) return result;
        break;
      case LVWIN_QUOTED:
        // A two-code key acts as it does unquoted: its prefix is no text.
        e->mode = key == TWO_CODE_PREFIX ? LVWIN_SECOND_CODE : LVWIN_READ_KEY;
        if (key != TWO_CODE_PREFIX) type_unit(e, static_cast<char16_t>(key));
        break;
      default:
        if (act(e, key, &result)) return result;
        break;
    }
  }
}
