// Code blocks and the tree of registered blocks (an AA tree ordered by
// block address).
#include "store/code_block.h"

#include <cstring>

#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "machine/insn_walk.h"
#include "machine/instructions.h"
#include "store/static_code.h"
#include "store/try_record.h"

namespace {

constexpr uint32_t BLOCK_FLAGS = lv_mem_flags(LV_CAT_COMPILED_CODE);
constexpr uint32_t NODE_FLAGS = lv_mem_flags(LV_CAT_AATREE);

struct tree_node {
  lv_code_block* block;
  uint32_t level;
  tree_node* left;
  tree_node* right;
};

tree_node* root;
uint64_t registered;

tree_node* skew(tree_node* t) {
  if (t == nullptr || t->left == nullptr || t->left->level != t->level) return t;
  tree_node* l = t->left;
  t->left = l->right;
  l->right = t;
  return l;
}

tree_node* split(tree_node* t) {
  if (t == nullptr || t->right == nullptr || t->right->right == nullptr || t->right->right->level != t->level) return t;
  tree_node* r = t->right;
  t->right = r->left;
  r->left = t;
  r->level++;
  return r;
}

tree_node* insert(tree_node* t, lv_code_block* block) {
  if (t == nullptr) {
    tree_node* n = static_cast<tree_node*>(lv_mem_alloc(sizeof(tree_node), NODE_FLAGS));
    *n = {block, 1, nullptr, nullptr};
    registered++;
    return n;
  }
  if (block < t->block)
    t->left = insert(t->left, block);
  else if (block > t->block)
    t->right = insert(t->right, block);
  else
    return t;
  return split(skew(t));
}

uint32_t level_of(const tree_node* t) { return t == nullptr ? 0 : t->level; }

tree_node* remove(tree_node* t, lv_code_block* block) {
  if (t == nullptr) return nullptr;
  if (block < t->block) {
    t->left = remove(t->left, block);
  } else if (block > t->block) {
    t->right = remove(t->right, block);
  } else if (t->left != nullptr) {
    tree_node* p = t->left;
    while (p->right != nullptr) p = p->right;
    t->block = p->block;
    t->left = remove(t->left, p->block);
  } else if (t->right != nullptr) {
    tree_node* s = t->right;
    while (s->left != nullptr) s = s->left;
    t->block = s->block;
    t->right = remove(t->right, s->block);
  } else {
    lv_mem_free(t, sizeof(tree_node), NODE_FLAGS);
    registered--;
    return nullptr;
  }
  uint32_t lower = (level_of(t->left) < level_of(t->right) ? level_of(t->left) : level_of(t->right)) + 1;
  if (lower < t->level) {
    t->level = lower;
    if (t->right != nullptr && t->right->level > lower) t->right->level = lower;
  }
  t = skew(t);
  t->right = skew(t->right);
  if (t->right != nullptr) t->right->right = skew(t->right->right);
  t = split(t);
  t->right = split(t->right);
  return t;
}

}  // namespace

lv_code_block* lv_code_block_new(uint64_t code_words) {
  uint64_t bytes = sizeof(lv_code_block) + 4 * code_words;
  lv_code_block* b = static_cast<lv_code_block*>(lv_mem_alloc(bytes, BLOCK_FLAGS));
  std::memset(b, 0, bytes);
  b->alt_entry = lv_fail_code;
  b->size_key = static_cast<uint32_t>(bytes << 9);
  b->source_key = LV_ATOM_NIL;
  b->source = LV_ATOM_NIL;
  return b;
}

void lv_code_block_free(lv_code_block* block) { lv_mem_free(block, lv_code_block_size(block), BLOCK_FLAGS); }

void lv_code_block_register(lv_code_block* block) { root = insert(root, block); }

void lv_code_block_unregister(lv_code_block* block) { root = remove(root, block); }

lv_code_block* lv_find_code_block(const void* address) {
  const char* a = static_cast<const char*>(address);
  for (tree_node* t = root; t != nullptr;) {
    const char* start = reinterpret_cast<const char*>(t->block);
    if (a < start) {
      t = t->left;
    } else if (a < start + lv_code_block_size(t->block)) {
      return t->block;
    } else {
      t = t->right;
    }
  }
  return nullptr;
}

void lv_code_blocks_reset() {
  root = nullptr;
  registered = 0;
}

uint64_t lv_code_block_count() { return registered; }

unsigned lv_code_tree_level() { return level_of(root); }

uint32_t* lv_code_write_entry_header(uint32_t* position, const uint32_t* target, unsigned arity, int form) {
  if (form == 1) {
    lv_internal_entry* h = reinterpret_cast<lv_internal_entry*>(position);
    *h = {LV_INTERNAL_HEADER_WORD, arity, 16 + 8 * arity, lv_opcode(LV_OP_KONTINUE), target, 0};
    return position + 8;
  }
  lv_try_record* previous = reinterpret_cast<lv_try_record*>(position) - 1;
  if (form == 2) {
    lv_try_record* closing = reinterpret_cast<lv_try_record*>(position);
    *closing = {nullptr, static_cast<const uint32_t*>(previous->last_or_end), lv_retry_end, 48 + 8 * arity,
                lv_opcode(LV_OP_TRY)};
    previous->last_or_end = &closing->insn;
    position += 8;
    previous = closing;
  }
  lv_try_record* r = reinterpret_cast<lv_try_record*>(position);
  *r = {nullptr, target, r, 48 + 8 * ((arity + 1) & ~1u), lv_opcode(LV_OP_TRY)};
  // The first record after an internal entry header has no record before it
  // to link from: the header is left as it is.
  if (previous->insn == lv_opcode(LV_OP_TRY)) previous->next = r;
  return position + 8;
}

const uint32_t* lv_code_deref(const uint32_t* address) {
  if (address[0] == lv_opcode(LV_OP_NATIVE_OP)) return reinterpret_cast<const uint32_t*>(lv_code_read64(address + 1));
  return address;
}

int lv_insn_arg_class(uint32_t first_word) {
  if (first_word == lv_opcode(LV_OP_GET_CONSTANT_X0Q) || first_word == lv_opcode(LV_OP_GET_STRUCTURE_X0Q)) return 4;
  if (first_word == lv_opcode(LV_OP_GET_CONSTANT_X0) || first_word == lv_opcode(LV_OP_GET_STRUCTURE_X0)) return 3;
  if (first_word == lv_opcode(LV_OP_GET_NIL_X0) || first_word == lv_opcode(LV_OP_GET_LIST_X0)) return 1;
  return 0;
}

int lv_entry_tests_key(const uint32_t* entry, lv_term key) {
  if ((reinterpret_cast<uintptr_t>(entry) & 7) != 0) return -1;
  const uint32_t* test = entry - 4;
  if ((test[0] == lv_opcode(LV_OP_GET_CONSTANT_X0Q) || test[0] == lv_opcode(LV_OP_GET_STRUCTURE_X0Q)) &&
      lv_code_read64(test + 2) == key)
    return -4;
  return 0;
}
