// Term hashing.
//
// The walk hashes a structure's name, then each argument in turn, one level
// deeper, with the argument's position XOR'ed in before it; a list cell
// hashes "." and its head, and goes on with its tail. The last argument and
// the tail are followed in a loop; the arguments before them wait on an
// explicit stack (on the C stack while it is shallow), so that neither deep
// nor long terms exhaust the C stack.
#include "core/term_hash.h"

#include <cstring>

#include "core/atoms.h"
#include "core/memory.h"
#include "core/term_walks.h"
#include "core/unify.h"

int lv_term_hash_mode;
lv_hash_sum3 lv_term_hash_sum3_state;

// ---------------------------------------------------------------------------
// Byte hashes.

namespace {

inline uint32_t read16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }
inline uint32_t rotate(uint32_t x, int k) { return (x << k) | (x >> (32 - k)); }

}  // namespace

uint32_t lv_hash_superfast(const uint8_t* bytes, size_t length, uint32_t h) {
  if (length == 0) return 0;
  size_t rest = length & 3;
  for (size_t n = length >> 2; n > 0; n--) {
    h += read16(bytes);
    uint32_t t = (read16(bytes + 2) << 11) ^ h;
    h = (h << 16) ^ t;
    bytes += 4;
    h += h >> 11;
  }
  switch (rest) {
    case 3:
      h += read16(bytes);
      h ^= h << 16;
      h ^= static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(bytes[2]))) << 18;
      h += h >> 11;
      break;
    case 2:
      h += read16(bytes);
      h ^= h << 11;
      h += h >> 17;
      break;
    case 1:
      h += static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(bytes[0])));
      h ^= h << 10;
      h += h >> 1;
      break;
  }
  h ^= h << 3;
  h += h >> 5;
  h ^= h << 4;
  h += h >> 17;
  h ^= h << 25;
  h += h >> 6;
  return h;
}

uint32_t lv_hash_sdbm(const uint8_t* bytes, size_t length, uint32_t h) {
  for (size_t i = 0; i < length; i++) h = h * 65599 + bytes[i];
  return h;
}

uint32_t lv_hash_bytesum(const uint8_t* bytes, size_t length, uint32_t h) {
  for (size_t i = 0; i < length; i++) h += bytes[i];
  return h;
}

uint32_t lv_hash_mul31(const uint8_t* bytes, size_t length, uint32_t h) {
  for (size_t i = 0; i < length; i++) h = h * 31 + bytes[i];
  return h;
}

uint32_t lv_hash_djb2(const uint8_t* bytes, size_t length, uint32_t h) {
  for (size_t i = 0; i < length; i++) h = h * 33 + bytes[i];
  return h;
}

uint32_t lv_hash_djb2_xor(const uint8_t* bytes, size_t length, uint32_t h) {
  for (size_t i = 0; i < length; i++) h = (h * 33) ^ bytes[i];
  return h;
}

uint32_t lv_hash_constant(const uint8_t*, size_t length, uint32_t h) { return length == 0 ? 0 : h; }

uint32_t lv_hash_lookup3(const uint8_t* k, size_t length, uint32_t h) {
  uint32_t a, b, c;
  a = b = c = 0xdeadbeef + static_cast<uint32_t>(length) + h;
  while (length > 12) {
    a += k[0] + (static_cast<uint32_t>(k[1]) << 8) + (static_cast<uint32_t>(k[2]) << 16) +
         (static_cast<uint32_t>(k[3]) << 24);
    b += k[4] + (static_cast<uint32_t>(k[5]) << 8) + (static_cast<uint32_t>(k[6]) << 16) +
         (static_cast<uint32_t>(k[7]) << 24);
    c += k[8] + (static_cast<uint32_t>(k[9]) << 8) + (static_cast<uint32_t>(k[10]) << 16) +
         (static_cast<uint32_t>(k[11]) << 24);
    // mix
    a -= c; a ^= rotate(c, 4);  c += b;
    b -= a; b ^= rotate(a, 6);  a += c;
    c -= b; c ^= rotate(b, 8);  b += a;
    a -= c; a ^= rotate(c, 16); c += b;
    b -= a; b ^= rotate(a, 19); a += c;
    c -= b; c ^= rotate(b, 4);  b += a;
    length -= 12;
    k += 12;
  }
  switch (length) {
    case 12: c += static_cast<uint32_t>(k[11]) << 24; [[fallthrough]];
    case 11: c += static_cast<uint32_t>(k[10]) << 16; [[fallthrough]];
    case 10: c += static_cast<uint32_t>(k[9]) << 8; [[fallthrough]];
    case 9: c += k[8]; [[fallthrough]];
    case 8: b += static_cast<uint32_t>(k[7]) << 24; [[fallthrough]];
    case 7: b += static_cast<uint32_t>(k[6]) << 16; [[fallthrough]];
    case 6: b += static_cast<uint32_t>(k[5]) << 8; [[fallthrough]];
    case 5: b += k[4]; [[fallthrough]];
    case 4: a += static_cast<uint32_t>(k[3]) << 24; [[fallthrough]];
    case 3: a += static_cast<uint32_t>(k[2]) << 16; [[fallthrough]];
    case 2: a += static_cast<uint32_t>(k[1]) << 8; [[fallthrough]];
    case 1: a += k[0]; break;
    case 0: return c;
  }
  // final
  c ^= b; c -= rotate(b, 14);
  a ^= c; a -= rotate(c, 11);
  b ^= a; b -= rotate(a, 25);
  c ^= b; c -= rotate(b, 16);
  a ^= c; a -= rotate(c, 4);
  b ^= a; b -= rotate(a, 14);
  c ^= b; c -= rotate(b, 24);
  return c;
}

// ---------------------------------------------------------------------------
// Walks.

namespace {

// A compound term whose earlier arguments are being hashed: the next
// argument is cells[j]; n = 0 marks a list cell whose tail cells[0] is next.
struct frame {
  const lv_term* cells;
  uint32_t j, n;
  int64_t level;
};

constexpr size_t LOCAL_FRAMES = 64;

struct frame_stack {
  frame local[LOCAL_FRAMES];
  frame* data = local;
  size_t capacity = LOCAL_FRAMES, size = 0;

  void push(const frame& f) {
    if (size == capacity) {
      size_t bigger = capacity * 2;
      frame* more = static_cast<frame*>(lv_mem_alloc(bigger * sizeof(frame), lv_mem_flags(LV_CAT_MISC)));
      std::memcpy(more, data, size * sizeof(frame));
      release();
      data = more;
      capacity = bigger;
    }
    data[size++] = f;
  }
  void release() {
    if (data != local) lv_mem_free(data, capacity * sizeof(frame), lv_mem_flags(LV_CAT_MISC));
    data = local;
  }
};

// The byte-hash walk's leaves and argument steps.
struct byte_policy {
  lv_byte_hash hash;
  uint32_t h;
  void bytes(const void* p, size_t n) { h = hash(static_cast<const uint8_t*>(p), n, h); }
  void word(uint64_t v) { bytes(&v, 8); }
  void atom(lv_term a) { bytes(lv_atom_text(a), lv_atom_length(a)); }
  void box(const lv_term* cells) {
    for (uint64_t i = 1, n = lv_box_value_words(cells[0]); i <= n; i++) word(cells[i]);
  }
  void list() { bytes(".", 1); }
  void argument(uint32_t j) { h ^= j; }
};

// Algorithm 1: three accumulators filled in turn.
struct sum3_policy {
  int cursor;
  void add(uint32_t v) {
    int32_t& a = lv_term_hash_sum3_state.a[cursor];
    a = static_cast<int32_t>(static_cast<uint32_t>(a) + v);
    cursor = cursor == 2 ? 0 : cursor + 1;
  }
  void word(uint64_t v) { add(static_cast<uint32_t>(v)); }
  void atom(lv_term a) {
    const char* text = lv_atom_text(a);
    for (uint64_t i = 0, n = lv_atom_length(a); i < n; i++)
      add(static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(text[i]))));
  }
  void box(const lv_term* cells) {
    add(static_cast<uint32_t>(cells[0]));
    for (uint64_t i = 1, n = lv_box_value_words(cells[0]); i <= n; i++) add(static_cast<uint32_t>(cells[i]));
  }
  void list() { add('.'); }
  void argument(uint32_t) {}
};

template <typename Policy>
void hash_walk(lv_term t, int64_t depth, Policy& policy) {
  frame_stack stack;
  int64_t level = 0;
  for (;;) {
    bool leaf = true;
    if (level != depth) {
      t = lv_deref(t);
      if (lv_is_ref(t)) {
        if (lv_term_hash_mode == 1) {
          lv_term_hash_mode = 0;
          break;
        }
      } else if (lv_is_small(t) || lv_is_frozen_marker(t)) {
        policy.word(static_cast<uint64_t>(static_cast<int64_t>(t) >> 3));
      } else if (lv_is_atom(t)) {
        policy.atom(t);
      } else if (lv_is_list(t)) {
        const lv_term* cells = lv_list_cells(t);
        policy.list();
        stack.push({&cells[1], 0, 0, level});
        t = cells[0];
        level++;
        leaf = false;
      } else {
        const lv_term* cells = lv_struct_cells(t);
        if (lv_is_box_header(cells[0])) {
          policy.box(cells);
        } else {
          policy.atom(lv_functor_atom(cells[0]));
          uint32_t n = lv_functor_arity(cells[0]);
          policy.argument(1);
          if (n > 1) stack.push({cells, 1, n, level});
          t = cells[1];
          level++;
          leaf = false;
        }
      }
    }
    if (!leaf) continue;
    // A subterm is done: go on with the next argument waiting.
    if (stack.size == 0) break;
    frame& f = stack.data[stack.size - 1];
    level = f.level + 1;
    if (f.n == 0) {
      t = f.cells[0];
      stack.size--;
      continue;
    }
    f.j++;
    policy.argument(f.j);
    t = f.cells[f.j];
    if (f.j == f.n) stack.size--;
  }
  stack.release();
}

}  // namespace

uint32_t lv_term_hash_walk(lv_term t, int64_t depth, uint32_t seed, lv_byte_hash hash) {
  byte_policy policy{hash, seed};
  hash_walk(t, depth, policy);
  return policy.h;
}

int lv_term_hash_sum3(lv_term t, int64_t depth, int cursor) {
  sum3_policy policy{cursor};
  hash_walk(t, depth, policy);
  return policy.cursor;
}

uint32_t lv_term_hash(lv_term t, unsigned algorithm, int64_t depth) {
  static const lv_byte_hash hashes[10] = {nullptr,           nullptr,      lv_hash_superfast, lv_hash_sdbm,
                                          lv_hash_lookup3,   lv_hash_djb2, lv_hash_djb2_xor,  lv_hash_bytesum,
                                          lv_hash_mul31,     lv_hash_constant};
  static const uint32_t seeds[10] = {0, 0, 0, 0, 0, 5381, 5381, 0, 0, 4711};
  if (algorithm == 1) {
    lv_term_hash_sum3_state = {{0, 0, 0}};
    lv_term_hash_sum3(t, depth, 0);
    uint32_t a0 = static_cast<uint32_t>(lv_term_hash_sum3_state.a[0]);
    uint32_t a1 = static_cast<uint32_t>(lv_term_hash_sum3_state.a[1]);
    uint32_t a2 = static_cast<uint32_t>(lv_term_hash_sum3_state.a[2]);
    return ((a2 ^ a1) + a2 * 128) * 128 + (a2 ^ a1 ^ a0);
  }
  if (algorithm >= 2 && algorithm <= 9) return lv_term_hash_walk(t, depth, seeds[algorithm], hashes[algorithm]);
  return 0;
}

// ---------------------------------------------------------------------------
// $term_hash_4_0_5(Term, Algorithm, Depth, Range, Hash)

namespace {

// The low 32 bits of a small integer or of a one-limb integer box.
bool low_word(lv_term t, int32_t* value) {
  if (lv_is_small(t)) {
    *value = static_cast<int32_t>(lv_small_value(t));
    return true;
  }
  if (lv_is_struct(t) && *lv_struct_cells(t) == LV_BOX_INT1) {
    *value = static_cast<int32_t>(lv_struct_cells(t)[1]);
    return true;
  }
  return false;
}

}  // namespace

int prolog_term_hash_4_0_5(lv_worker* w) {
  lv_term algorithm = lv_deref(w->X[1]);
  if (!lv_is_small(algorithm)) return 0;
  int64_t a = lv_small_value(algorithm);
  int32_t depth = 0, range = 0;
  if (!low_word(lv_deref(w->X[2]), &depth) || depth < -1) return 0;
  if (!low_word(lv_deref(w->X[3]), &range)) range = 0;
  lv_term term = w->X[0];
  lv_term_hash_mode = (a & 16) != 0 ? 2 : 1;
  // An unlimited walk of a cyclic term would never end: such a term has no
  // hash, like a term with a variable in mode 1.
  unsigned algorithm_number = static_cast<unsigned>(a & 15);
  if (depth == -1 && algorithm_number >= 1 && algorithm_number <= 9 && !lv_is_atomic(lv_deref(term))) {
    bool acyclic = lv_term_acyclic_walk(w, term);
    lv_term_unmark_walk(w, term);
    if (!acyclic) return 1;
  }
  uint32_t h = lv_term_hash(term, algorithm_number, depth);
  if (lv_term_hash_mode == 0) return 1;
  int64_t value;
  if (range == 0 || range == -3 || range == -4 || range == -5)
    value = h;
  else if (range == -2)
    value = h & 0x0fffffff;
  else if (range == -1)
    value = static_cast<int32_t>(h % 4294967295u);
  else if (range > 0)
    value = h % static_cast<uint32_t>(range);
  else
    return 0;
  return cunify(w, w->X[4], lv_make_small(value));
}
