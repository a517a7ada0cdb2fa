// Indexical definition records: built from the compiled term and checked
// whole before anything is stored, freed with their chain, and attached to
// the variables of a posted indexical.
#include <initializer_list>

#include "kernel/attributes.h"
#include "kernel/indexical.h"
#include "kernel/memory.h"
#include "kernel/propagation.h"
#include "kernel/solver_state.h"
#include "kernel/term_helpers.h"

namespace {

constexpr int64_t MAX_CODE = int64_t{1} << 20;
constexpr int64_t MAX_COPY_WORDS = int64_t{1} << 20;
// Stored terms: lists are walked along their tails (so a cyclic one ends
// the walk at this count), the nesting of terms within terms is bounded.
constexpr int64_t MAX_LIST_ELEMENTS = 10000;
constexpr int MAX_DEPTH = 1000;

// Operand roles.
enum role : char { CONST = 'c', READ = 'r', WRITE = 'w', VAR = 'v', LABEL = 'l', HASH = 'h' };

// The operands of an opcode (at most two), "" for none.
const char* operands(int64_t op) {
  switch (op) {
    case 18: case 80: case 81: case 82: return "r";
    case 25: case 29: case 33: case 37: case 42: case 43: case 44: case 65: return "v";
    case 21: case 22: case 23: case 41: return "c";
    case 61: case 62: case 63: return "l";
    case 64: return "wl";
    case 69: return "hl";
    default: return "";
  }
}

// A code-list element as read: a plain integer or a tagged index.
struct code_element {
  lv_term functor;  // 0 for a plain integer
  int64_t value;
};

struct builder {
  const lv_foreign_env* env;
  const char* why;
  fd_words atoms;  // the atoms the stored terms hold

  bool refuse(const char* reason) {
    if (why == nullptr) why = reason;
    return false;
  }
  void hold(lv_term t) {
    if (fd_is_atom(t)) fd_words_push(env, &atoms, t);
  }

  // Words of a copy of t (atomic leaves, list cells, compound structures);
  // -1 for anything else, a list longer than MAX_LIST_ELEMENTS or terms
  // nested deeper than MAX_DEPTH.
  int64_t copy_size(lv_term t, int depth) {
    if (depth > MAX_DEPTH) return -1;
    int64_t total = 0, elements = 0;
    for (t = fd_deref(t); fd_is_list(t); t = fd_deref(fd_list_cells(t)[1])) {
      if (++elements > MAX_LIST_ELEMENTS) return -1;
      int64_t a = copy_size(fd_list_cells(t)[0], depth + 1);
      if (a < 0 || (total += 2 + a) > MAX_COPY_WORDS) return -1;
    }
    if (fd_is_atomic(t)) return total;
    if (!fd_is_compound_struct(t)) return -1;  // an unbound variable or a boxed number
    unsigned n = fd_functor_arity(fd_functor_of(t));
    total += 1 + n;
    for (unsigned i = 1; i <= n; i++) {
      int64_t a = copy_size(fd_arg(t, i), depth + 1);
      if (a < 0 || (total += a) > MAX_COPY_WORDS) return -1;
    }
    return total;
  }
  // The copy, in words from *h (copy_size said how many).
  lv_term copy(lv_term t, lv_term** h) {
    lv_term result = FD_NIL;
    lv_term* link = &result;
    for (t = fd_deref(t); fd_is_list(t); t = fd_deref(fd_list_cells(t)[1])) {
      lv_term* cell = *h;
      *h += 2;
      cell[0] = copy(fd_list_cells(t)[0], h);
      *link = fd_make_list(cell);
      link = &cell[1];
    }
    if (fd_is_atomic(t)) {
      hold(t);
      *link = t;
      return result;
    }
    lv_term* cell = *h;
    unsigned n = fd_functor_arity(fd_functor_of(t));
    *h += 1 + n;
    cell[0] = fd_functor_of(t);
    hold(fd_functor_name(cell[0]));
    for (unsigned i = 1; i <= n; i++) cell[i] = copy(fd_arg(t, i), h);
    *link = fd_make_struct(cell);
    return result;
  }

  // One stored term: atomic as it is; d(List) a copy of List; any other
  // structure name(Pairs) a hash table of Key-Offset pairs.
  bool store(lv_term t, fd_stored_term* out) {
    t = fd_deref(t);
    if (fd_is_atomic(t)) {
      hold(t);
      *out = {FD_STORED_ATOMIC, 0, t};
      return true;
    }
    if (!fd_is_compound_struct(t) || fd_functor_arity(fd_functor_of(t)) != 1) return refuse("stored term");
    lv_term arg = fd_deref(fd_arg(t, 1));
    if (fd_functor_of(t) == fd_state(env)->functors[FD_F_D_1]) {
      if (arg == FD_NIL) {
        *out = {FD_STORED_ATOMIC, 0, FD_NIL};
        return true;
      }
      int64_t words = copy_size(arg, 0);
      if (words <= 0) return refuse("stored term");
      auto* block = static_cast<lv_term*>(fd_malloc(env, static_cast<size_t>(words) * sizeof(lv_term)));
      lv_term* h = block;
      *out = {FD_STORED_COPY, static_cast<uint32_t>(words), copy(arg, &h)};
      return true;
    }
    // A hash table: the pairs are checked before it is made.
    int64_t elements = 0;
    lv_term l = arg;
    for (; fd_is_list(l); l = fd_deref(fd_list_cells(l)[1])) {
      if (++elements > MAX_LIST_ELEMENTS) return refuse("hash table pairs");
      lv_term pair = fd_deref(fd_list_cells(l)[0]);
      if (fd_functor_of(pair) != FD_FUNCTOR_MINUS_2 || !fd_is_atomic(fd_deref(fd_arg(pair, 1))) ||
          !fd_is_small(fd_deref(fd_arg(pair, 2))))
        return refuse("hash table pairs");
    }
    if (l != FD_NIL) return refuse("hash table pairs");
    void* table = fd_rt::new_switch_on_key(env, 2, 0);
    for (l = arg; l != FD_NIL; l = fd_deref(fd_list_cells(l)[1])) {
      lv_term pair = fd_deref(fd_list_cells(l)[0]);
      lv_term key = fd_deref(fd_arg(pair, 1));
      hold(key);
      fd_rt::puthash(env, &table, key)->value = static_cast<uint64_t>(fd_small_value(fd_deref(fd_arg(pair, 2))));
    }
    *out = {FD_STORED_HASH, 0, reinterpret_cast<lv_term>(table)};
    return true;
  }
};

void free_stored(const lv_foreign_env* env, fd_stored_term* stored, int64_t n) {
  for (int64_t i = 0; i < n; i++) {
    if (stored[i].kind == FD_STORED_COPY) {
      // The copy's block starts at its lowest cell: the root's cell.
      lv_term t = stored[i].term;
      fd_free(env, reinterpret_cast<void*>(t & ~FD_TAG_MASK));
    } else if (stored[i].kind == FD_STORED_HASH) {
      fd_rt::dispose_switch_on_key(env, reinterpret_cast<void*>(stored[i].term));
    }
  }
}

void free_record(const lv_foreign_env* env, fd_definition* d) {
  if (d->stored != nullptr) free_stored(env, d->stored, d->stored_count);
  for (int64_t i = 0; i < d->atom_count; i++) fd_rt::unregister_atom(env, d->atoms[i]);
  fd_free(env, d->atoms);
  fd_free(env, d->stored);
  fd_free(env, d->entries);
  fd_free(env, d->code);
  fd_free(env, d->starts);
  fd_free(env, d);
}

bool small_in(lv_term t, int64_t lo, int64_t hi, int64_t* out) {
  t = fd_deref(t);
  if (!fd_is_small(t) || fd_small_value(t) < lo || fd_small_value(t) > hi) return false;
  *out = fd_small_value(t);
  return true;
}

// Reads a proper list of exactly n elements into out (n words).
bool list_of(const lv_foreign_env* env, lv_term l, int64_t n, fd_words* out) {
  fd_words_resize(env, out, n);
  int64_t i = 0;
  for (l = fd_deref(l); fd_is_list(l) && i < n; l = fd_deref(fd_list_cells(l)[1]))
    out->data[i++] = fd_deref(fd_list_cells(l)[0]);
  return l == FD_NIL && i == n;
}

// The work arrays of one record's build.
struct record_work {
  fd_words entries, code, stored, elements, labels, loops;
  void init() {
    for (fd_words* a : {&entries, &code, &stored, &elements, &labels, &loops}) fd_words_init(a);
  }
  void free(const lv_foreign_env* env) {
    for (fd_words* a : {&entries, &code, &stored, &elements, &labels, &loops}) fd_words_free(env, a);
  }
};

// One record from its compiled term, or null (b.why says why); the work
// arrays are the caller's.
fd_definition* build_record(builder& b, record_work& k, lv_term element, int64_t slot) {
  const lv_foreign_env* env = b.env;
  const fd_solver_state* st = fd_state(env);
  element = fd_deref(element);
  if (!fd_is_compound_struct(element) || fd_functor_arity(fd_functor_of(element)) != 7) {
    b.refuse("definition term");
    return nullptr;
  }
  int64_t entry_count, target, code_length, stored_count;
  if (!small_in(fd_arg(element, 2), 0, 255, &entry_count) || !small_in(fd_arg(element, 3), 1, 255, &target) ||
      !small_in(fd_arg(element, 5), 0, MAX_CODE, &code_length) ||
      !small_in(fd_arg(element, 7), 0, MAX_CODE, &stored_count)) {
    b.refuse("counts");
    return nullptr;
  }
  if (!list_of(env, fd_arg(element, 1), entry_count, &k.entries)) {
    b.refuse("variable entries");
    return nullptr;
  }
  if (!list_of(env, fd_arg(element, 4), code_length, &k.code)) {
    b.refuse("code length");
    return nullptr;
  }
  if (!list_of(env, fd_arg(element, 6), stored_count, &k.stored)) {
    b.refuse("stored terms");
    return nullptr;
  }
  for (int64_t i = 0; i < entry_count; i++) {
    lv_term e = k.entries.data[i];
    int64_t position, mark;
    if (!fd_is_compound_struct(e) || fd_functor_arity(fd_functor_of(e)) != 2 ||
        !small_in(fd_arg(e, 1), 1, 255, &position) || !small_in(fd_arg(e, 2), 0, 255, &mark)) {
      b.refuse("variable entries");
      return nullptr;
    }
    k.entries.data[i] = static_cast<uint64_t>(position << 8 | mark);
  }
  // Code elements: plain integers or a(I), l(I), t(I), d(I), h(I), two
  // words each (functor, value).
  fd_words_resize(env, &k.elements, 2 * code_length);
  auto set_element = [&](int64_t i, lv_term functor, int64_t value) {
    k.elements.data[2 * i] = functor;
    k.elements.data[2 * i + 1] = static_cast<uint64_t>(value);
  };
  auto element_at = [&](int64_t i) {
    return code_element{k.elements.data[2 * i], static_cast<int64_t>(k.elements.data[2 * i + 1])};
  };
  for (int64_t i = 0; i < code_length; i++) {
    lv_term c = k.code.data[i];
    if (fd_is_small(c)) {
      set_element(i, 0, fd_small_value(c));
      continue;
    }
    lv_term f = fd_functor_of(c);
    int64_t index;
    bool known = f == st->functors[FD_F_A_1] || f == st->functors[FD_F_L_1] || f == st->functors[FD_F_T_1] ||
                 f == st->functors[FD_F_D_1] || f == st->functors[FD_F_H_1];
    if (!known || !small_in(fd_arg(c, 1), 0, MAX_CODE, &index)) {
      b.refuse("code word");
      return nullptr;
    }
    set_element(i, f, index);
  }

  auto* d = static_cast<fd_definition*>(fd_malloc(env, sizeof(fd_definition)));
  *d = fd_definition{};
  d->flags = static_cast<uint32_t>(target) | (slot & 1 ? uint32_t{FD_IX_TRUE} : 0u) | (slot & 2 ? uint32_t{FD_IX_WAIT16} : 0u);
  d->entry_count = static_cast<int32_t>(entry_count);
  d->code_length = static_cast<int32_t>(code_length);
  d->entries = static_cast<uint64_t*>(fd_malloc(env, sizeof(uint64_t) * (entry_count + 1)));
  for (int64_t i = 0; i < entry_count; i++) d->entries[i] = k.entries.data[i];
  d->stored = static_cast<fd_stored_term*>(fd_malloc(env, sizeof(fd_stored_term) * (stored_count + 1)));
  for (int64_t i = 0; i < stored_count; i++) {
    if (!b.store(k.stored.data[i], &d->stored[i])) {
      d->stored_count = i;
      free_record(env, d);
      return nullptr;
    }
    d->stored_count = i + 1;
  }
  d->code = static_cast<uint64_t*>(fd_malloc(env, sizeof(uint64_t) * (code_length + 1)));
  d->starts = static_cast<uint8_t*>(fd_malloc(env, static_cast<size_t>(code_length + 1)));
  for (int64_t i = 0; i <= code_length; i++) d->starts[i] = 0;
  d->starts[code_length] = 1;

  // Walk the instructions: translate operands by their role and check them.
  // labels: code words that must be instruction starts; loops: targets of
  // 63, whose two words before are a 64's operands.
  bool ok = true;
  k.labels.count = k.loops.count = 0;
  int64_t pc = 0;
  while (ok && pc < code_length) {
    const code_element e = element_at(pc);
    if (e.functor != 0 || e.value < 0) {
      ok = b.refuse("opcode");
      break;
    }
    d->starts[pc] = 1;
    d->code[pc] = static_cast<uint64_t>(e.value);
    const char* ops = e.value <= FD_IX_LAST_OPCODE ? operands(e.value) : "";
    int64_t n = 0;
    while (ops[n] != 0) n++;
    if (pc + n >= code_length && n > 0) {
      ok = b.refuse("operand missing");
      break;
    }
    for (int64_t j = 0; j < n && ok; j++) {
      const code_element o = element_at(pc + 1 + j);
      uint64_t& word = d->code[pc + 1 + j];
      bool plain = o.functor == 0 || o.functor == st->functors[FD_F_A_1] || o.functor == st->functors[FD_F_L_1];
      switch (ops[j]) {
        case CONST:
          if (o.functor == 0) {
            if (!fd_fits_small(o.value)) ok = b.refuse("constant");
            else word = fd_make_small(o.value);
          } else if ((o.functor == st->functors[FD_F_T_1] || o.functor == st->functors[FD_F_D_1]) &&
                     o.value < stored_count && d->stored[o.value].kind != FD_STORED_HASH) {
            word = d->stored[o.value].term;
          } else {
            ok = b.refuse("stored-term index");
          }
          break;
        case READ:
          if (!plain || o.value >= FD_IX_REGISTERS || (o.value > 2 && o.value < FD_IX_FIRST_LOOP_REGISTER))
            ok = b.refuse("register");
          word = static_cast<uint64_t>(o.value);
          break;
        case WRITE:
          if (!plain || o.value >= FD_IX_REGISTERS || o.value < FD_IX_FIRST_LOOP_REGISTER) ok = b.refuse("register");
          word = static_cast<uint64_t>(o.value);
          break;
        case VAR:
          if (!plain || o.value < 1 || o.value > 255) ok = b.refuse("variable position");
          word = static_cast<uint64_t>(o.value);
          break;
        case LABEL:
          if (!plain || o.value > code_length) ok = b.refuse("jump target");
          fd_words_push(env, &k.labels, static_cast<uint64_t>(o.value));
          if (e.value == 63) fd_words_push(env, &k.loops, static_cast<uint64_t>(o.value));
          word = static_cast<uint64_t>(o.value);
          break;
        case HASH:
          if (o.functor != st->functors[FD_F_H_1] || o.value >= stored_count ||
              d->stored[o.value].kind != FD_STORED_HASH)
            ok = b.refuse("stored-term index");
          word = static_cast<uint64_t>(o.value);
          break;
      }
    }
    pc += 1 + n;
  }
  for (int64_t i = 0; ok && i < k.labels.count; i++)
    if (!d->starts[k.labels.data[i]]) ok = b.refuse("jump target");
  for (int64_t i = 0; ok && i < k.loops.count; i++) {
    int64_t l = static_cast<int64_t>(k.loops.data[i]);
    if (l < 3 || !d->starts[l - 3] || d->code[l - 3] != 64) ok = b.refuse("loop target");
  }
  // Hash tables hold code offsets: each must be an instruction start (the
  // pairs were checked when the table was made).
  for (int64_t i = 0; ok && i < stored_count; i++) {
    if (d->stored[i].kind != FD_STORED_HASH) continue;
    lv_term l = fd_deref(fd_arg(fd_deref(k.stored.data[i]), 1));
    for (; ok && l != FD_NIL; l = fd_deref(fd_list_cells(l)[1])) {
      int64_t offset = fd_small_value(fd_deref(fd_arg(fd_deref(fd_list_cells(l)[0]), 2)));
      if (offset < 0 || offset > code_length || !d->starts[offset]) ok = b.refuse("hash table offset");
    }
  }
  if (!ok) {
    free_record(env, d);
    return nullptr;
  }
  return d;
}

void free_chain(const lv_foreign_env* env, fd_definition* d) {
  while (d != nullptr) {
    fd_definition* next = d->next;
    free_record(env, d);
    d = next;
  }
}

}  // namespace

int fd_build_definition_chain(const lv_foreign_env* env, lv_term list, int64_t slot, int64_t count, void** table,
                              const char** why) {
  builder b{env, nullptr, {}};
  fd_words_init(&b.atoms);
  record_work k;
  k.init();
  fd_words elements;
  fd_words_init(&elements);
  fd_definition* head = nullptr;
  fd_definition** link = &head;
  bool ok = slot >= 0 && slot < 4;
  if (!ok) b.refuse("slot");
  if (ok && (count < 0 || count > MAX_CODE || !list_of(env, list, count, &elements)))
    ok = b.refuse("definition list");
  for (int64_t i = 0; ok && i < elements.count; i++) {
    int64_t atoms_before = b.atoms.count;
    fd_definition* d = build_record(b, k, elements.data[i], slot);
    if (d == nullptr) {
      ok = false;
      break;
    }
    // The record holds the atoms of its stored terms.
    d->atom_count = b.atoms.count - atoms_before;
    d->atoms = static_cast<lv_term*>(fd_malloc(env, sizeof(lv_term) * (d->atom_count + 1)));
    for (int64_t j = 0; j < d->atom_count; j++) {
      d->atoms[j] = b.atoms.data[atoms_before + j];
      fd_rt::register_atom(env, d->atoms[j]);
    }
    d->owner = table;
    *link = d;
    link = &d->next;
  }
  fd_words_free(env, &elements);
  k.free(env);
  fd_words_free(env, &b.atoms);
  if (!ok) {
    free_chain(env, head);  // never published: nothing refers to it
    if (why != nullptr) *why = b.why;
    return 0;
  }
  // Every record is known from now on, so that a posted indexical naming
  // one can be checked.
  for (fd_definition* d = head; d != nullptr; d = d->next) fd_keyed_put(env, &fd_tables(env)->records, d, 1);
  fd_release_definition_chain(env, &table[slot]);
  table[slot] = head;
  return 1;
}

void fd_release_definition_chain(const lv_foreign_env* env, void** head) {
  auto* first = static_cast<fd_definition*>(*head);
  *head = nullptr;
  if (first == nullptr) return;
  fd_definition* last = first;
  for (fd_definition* d = first; d != nullptr; d = d->next) {
    d->owner = nullptr;
    last = d;
  }
  fd_solver_state* st = fd_state(env);
  last->next = st->tables->retired_definitions;
  st->tables->retired_definitions = first;
}

void fd_free_retired_definitions(const lv_foreign_env* env) {
  fd_solver_state* st = fd_state(env);
  free_chain(env, st->tables->retired_definitions);
  st->tables->retired_definitions = nullptr;
}

void fd_attach_indexical(const lv_foreign_env* env, const fd_definition* def, lv_term indexical, int live) {
  fd_engine* w = fd_engine_of(env);
  const fd_solver_state* st = fd_state(env);
  uint64_t wait = (def->flags & FD_IX_WAIT16) ? 16 : 8;
  for (int32_t i = 0; i < def->entry_count; i++) {
    uint64_t e = def->entries[i];
    if (e & wait) continue;
    lv_term tuple = fd_deref(fd_arg(indexical, 6));
    unsigned position = static_cast<unsigned>(e >> 8);
    if (!fd_is_compound_struct(tuple) || position > fd_functor_arity(fd_functor_of(tuple))) continue;
    lv_term attribute = fd_deref(fd_arg(tuple, position));
    if (fd_functor_of(attribute) != FD_FUNCTOR_V_7) continue;
    if (fd_is_small(fd_mutable_value(fd_struct_cells(attribute)[3]))) continue;  // fixed
    w->X[live] = indexical;
    fd_add_suspension(env, attribute, st->event_templates[e & 7], indexical, FD_NIL, live + 1);
    indexical = fd_deref(w->X[live]);
  }
}
