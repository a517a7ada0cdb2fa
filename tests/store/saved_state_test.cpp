// Saved states: the head, the body's end and damage, file names, atoms
// under the library and state directories, increments over a full state,
// database references, code that no state can hold, the reset after a
// failed restore, holding predicates, states written in another byte order
// with another opcode encoding and X0 place, restore/1, and a randomised
// corruption run. The Prolog level comes from the boot file; a test whose
// boot file was not built is skipped.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/atom_gc.h"
#include "core/gc.h"
#include "core/init_state.h"
#include "embed/devsys.h"
#include "machine/instructions.h"
#include "lvio/environment.h"
#include "store/clause_list.h"
#include "store/saved_state.h"
#include "store/state_format.h"
#include "store/state_io.h"
#include "store/static_code.h"
#include "support/assembler.h"
#include "support/program_listing.h"
#include "support/ql_runtime.h"
#include "support/temp_files.h"
#include "support/terms.h"

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string inflate_all(const std::string& in, bool* complete) {
  z_stream z{};
  inflateInit(&z);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  std::string out;
  char buffer[65536];
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - z.avail_out);
  }
  *complete = rc == Z_STREAM_END;
  inflateEnd(&z);
  return out;
}

std::string deflate_all(const std::string& in) {
  uLongf size = compressBound(static_cast<uLong>(in.size()));
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(in.data()),
           static_cast<uLong>(in.size()));
  out.resize(size);
  return out;
}

// A state file taken apart: the text head through the version line, the
// body uncompressed, the trailer.
struct state_file {
  std::string head;
  std::string body;
  std::string trailer;

  static state_file read(const std::string& path) {
    std::string bytes = read_file(path);
    state_file f;
    size_t version = bytes.find("\nversion=");
    size_t body = bytes.find('\n', version + 1) + 1;
    size_t trailer = bytes.rfind("\n# META_INFO_SUFFIX 1\n");
    f.head = bytes.substr(0, body);
    bool complete = false;
    f.body = inflate_all(bytes.substr(body, trailer - body), &complete);
    f.trailer = bytes.substr(trailer);
    return f;
  }
  std::string bytes() const { return head + deflate_all(body) + trailer; }
  void write(const std::string& path) const { write_file(path, bytes()); }

  uint32_t archmask() const {
    size_t at = head.find("archmask=0x") + 11;
    return static_cast<uint32_t>(std::stoul(head.substr(at), nullptr, 16));
  }
  void set_archmask(uint32_t mask) {
    size_t at = head.find("archmask=0x") + 11;
    size_t end = head.find('\n', at);
    char text[16];
    std::snprintf(text, sizeof text, "%x", mask);
    head.replace(at, end - at, text);
  }
};

// The records of a body, as this test reads the format.
struct record {
  lv_state_header h;
  std::string payload;
};

uint64_t word_at(const std::string& s, size_t at) {
  uint64_t w;
  std::memcpy(&w, s.data() + at, 8);
  return w;
}

std::vector<record> records_of(const std::string& body) {
  std::vector<record> out;
  std::vector<std::pair<uint64_t, uint64_t>> arities;
  for (size_t at = 0; at + 72 <= body.size();) {
    record r;
    std::memcpy(&r.h, body.data() + at, 72);
    at += 72;
    const uint64_t* w = r.h.w;
    uint64_t n = 0;
    switch (w[0]) {
      case LV_REC_ATOM: case LV_REC_TEXT: n = w[2]; break;
      case LV_REC_CHAIN: n = w[3]; break;
      case LV_REC_STORED: n = 16 + w[3]; break;
      case LV_REC_CLAUSE: n = 16 + w[5] + w[6] + w[7]; break;
      case LV_REC_CODE: n = w[7] + w[8]; break;
      case LV_REC_GLOBALS: n = 120; break;
      case LV_REC_PREDICATE: arities.emplace_back(w[1], lv_functor_arity(w[3])); break;
      case LV_REC_PROPERTIES:
        if ((lv_state_unpack_flags(w[2]) & LV_PRED_META) != 0)
          for (auto& [key, arity] : arities)
            if (key == w[1]) n = 8 * arity;
        break;
      default: break;
    }
    r.payload = body.substr(at, n);
    at += n;
    out.push_back(r);
  }
  return out;
}

std::string body_of(const std::vector<record>& records) {
  std::string out;
  for (const record& r : records) {
    out.append(reinterpret_cast<const char*>(&r.h), 72);
    out += r.payload;
  }
  return out;
}

// ---- A state written by another runtime: big-endian, opcodes << 4, X0 one
// word further on --------------------------------------------------------------

struct encoding {
  bool swap;
  bool shift4;
  int x0_delta;  // words
};

void swap32_at(std::string& s, size_t at) {
  uint32_t v;
  std::memcpy(&v, s.data() + at, 4);
  v = __builtin_bswap32(v);
  std::memcpy(s.data() + at, &v, 4);
}
void swap64_at(std::string& s, size_t at) {
  uint64_t v = word_at(s, at);
  v = __builtin_bswap64(v);
  std::memcpy(s.data() + at, &v, 8);
}
void swap_words(std::string& s, size_t from, size_t to, const encoding& e) {
  if (e.swap)
    for (size_t at = from; at + 8 <= to; at += 8) swap64_at(s, at);
}

// The code of a block (its first word at code[0]) as the other runtime
// holds it; old_start is the writer's address of the code.
void encode_code(std::string& code, uint64_t old_start, const encoding& e) {
  auto word = [&](size_t i) {
    uint32_t v;
    std::memcpy(&v, code.data() + 4 * i, 4);
    return v;
  };
  auto set = [&](size_t i, uint32_t v) { std::memcpy(code.data() + 4 * i, &v, 4); };
  auto w32 = [&](size_t i) {
    if (e.swap) swap32_at(code, 4 * i);
  };
  auto w64 = [&](size_t i) {
    if (e.swap) swap64_at(code, 4 * i);
  };
  auto x = [&](size_t i) {
    set(i, word(i) + 8 * e.x0_delta);
    w32(i);
  };
  size_t words = code.size() / 4;
  for (size_t p = 0; p < words;) {
    uint32_t op = word(p);
    if (op == LV_INTERNAL_HEADER_WORD) {
      uint64_t first = word_at(code, 4 * (p + 4));
      uint64_t header = old_start + 4 * p;
      for (size_t i = 0; i < 4; i++) w32(p + i);
      w64(p + 4);
      w64(p + 6);
      size_t q = p + 8;
      if (first != header + 32) {
        for (;; q += 8) {
          uint64_t next = word_at(code, 4 * q);
          set(q + 7, e.shift4 ? (word(q + 7) >> 1) << 4 : word(q + 7));
          w64(q);
          w64(q + 2);
          w64(q + 4);
          w32(q + 6);
          w32(q + 7);
          if (next == 0) break;
        }
        q += 8;
      }
      p = q;
      continue;
    }
    uint32_t n = op >> 1;
    int32_t format = lv_instruction_format_table[n];
    set(p, e.shift4 ? n << 4 : op);
    w32(p);
    size_t q = p + 1;
    if (format == 72) {
      uint32_t skip = word(q);
      w32(q);
      p = q + skip;
      continue;
    }
    for (const char* k = lv_format_operands[format]; *k != '\0'; k++) {
      switch (*k) {
        case 'X': x(q++); break;
        case 'p': case 'Y': case 'S': case 'N': w32(q++); break;
        case 'R': {
          uint32_t m = word(q) >> 8;
          for (uint32_t i = 0; i <= m; i++) w32(q + i);
          q += 1 + m;
          break;
        }
        case 'G': {
          uint32_t m = word(q);
          w32(q);
          for (uint32_t i = 0; i < m; i++) {
            x(q + 1 + 2 * i);
            w32(q + 2 + 2 * i);
          }
          q += 1 + 2 * m;
          break;
        }
        case 'B': {
          uint64_t values = lv_box_value_words(word_at(code, 4 * q));
          for (uint64_t i = 0; i <= values; i++) w64(q + 2 * i);
          q += 2 * (values + 1);
          break;
        }
        default: w64(q); q += 2; break;
      }
    }
    p = q;
  }
}

std::string encode_body(const std::string& body, const encoding& e) {
  std::vector<record> records = records_of(body);
  for (record& r : records) {
    uint64_t type = r.h.w[0];
    std::string& p = r.payload;
    switch (type) {
      case LV_REC_CHAIN: case LV_REC_STORED: case LV_REC_PROPERTIES: case LV_REC_CLAUSE: case LV_REC_GLOBALS:
        swap_words(p, 0, p.size(), e);
        break;
      case LV_REC_CODE: {
        uint64_t aux = r.h.w[7];
        swap_words(p, 0, aux, e);
        std::string code = p.substr(aux);
        uint64_t size = r.h.w[2] >> 9;
        encode_code(code, r.h.w[3] - size + sizeof(lv_code_block), e);
        p = p.substr(0, aux) + code;
        break;
      }
      default: break;
    }
    if (e.swap)
      for (uint64_t& w : r.h.w) w = __builtin_bswap64(w);
  }
  return body_of(records);
}

// ---- The fixture ------------------------------------------------------------------

class SavedStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::ifstream(LV_TEST_BOOT_FILE).good()) GTEST_SKIP() << "no boot file " << LV_TEST_BOOT_FILE;
    ASSERT_TRUE(rt.start());
    std::string error;
    ASSERT_TRUE(rt.load(LV_TEST_BOOT_FILE, &error)) << error;
    ASSERT_TRUE(rt.boot());
    w = rt.worker();
    rt.set_quiet(true);
  }
  void TearDown() override {
    if (w != nullptr) rt.stop();
  }

  lv_term atom(const char* text) { return rt.atom(text); }

  // A goal of prolog with the given arguments: true when it succeeds.
  bool call(const char* name, unsigned arity, std::vector<lv_term> args) {
    lv_pred* p = rt.find(name, arity);
    return p != nullptr && rt.solve(p, [](lv_term_ref) {}, 1, std::move(args)) == 1;
  }
  bool assertz(lv_term clause) { return call("assertz", 1, {clause}); }
  lv_term fact(const char* module, const char* name, std::initializer_list<lv_term> args) {
    lv_term head = args.size() == 0 ? atom(name) : terms::fn(w, atom(name), args);
    return terms::fn(w, LV_ATOM_COLON, {atom(module), head});
  }

  // The user program of the tests: dynamic predicates in two modules, a
  // blackboard entry, a module declared with its exports.
  void user_program() {
    for (int i = 1; i <= 3; i++) ASSERT_TRUE(assertz(fact("user", "p", {lv_make_small(i)})));
    ASSERT_TRUE(assertz(fact("user", "q", {atom("text"), terms::list(w, {atom("a"), lv_make_small(-5)})})));
    ASSERT_TRUE(assertz(fact("m2", "r", {lv_make_small(1)})));
    ASSERT_TRUE(call("$bb_put", 3, {atom("user"), atom("key"), terms::fn(w, atom("value"), {lv_make_small(9)})}));
  }

  std::string save(const char* name, uint32_t kind) {
    std::string path = dir.path(name);
    EXPECT_TRUE(call("$save", 3, {atom(path.c_str()), lv_make_small(kind == LV_STATE_ALL ? 1 : 0), LV_ATOM_NIL}));
    return path;
  }

  int64_t restore(const std::string& path, std::string* message = nullptr) {
    char text[512];
    int64_t rc = lv_restore_saved_state(w, path.c_str(), text, sizeof text);
    if (message != nullptr) *message = text;
    lv_lookup_role_predicates();
    return rc;
  }

  // The head check alone, for a kind asked for.
  int64_t open_head(const std::string& path, uint32_t kind, std::string* message) {
    lv_saved_state_io* io = lv_state_io_new(w);
    int64_t rc = lv_restore_open(io, path.c_str(), kind);
    *message = io->message;
    lv_state_io_free(io, true);
    return rc;
  }

  std::string listing(bool all = false) { return program_listing::text(w, all ? std::vector<std::string>{} : std::vector<std::string>{"prolog"}); }

  // The solutions of Module:Name(X) as text.
  std::string solutions(const char* module, const char* name) {
    std::string out;
    lv_term_ref r = LV_new_term_ref();
    lv_term_ref_cell(w, r) = terms::var(w);
    lv_term goal = terms::fn(w, LV_ATOM_COLON, {atom(module), terms::fn(w, atom(name), {lv_term_ref_cell(w, r)})});
    lv_pred* call1 = rt.find("call", 1);
    rt.solve(call1, [&](lv_term_ref) { out += qlrt::Canon().text(lv_term_ref_cell(w, r)) + ";"; }, 0, {goal});
    LV_reset_term_refs(r);
    return out;
  }

  qlrt::Runtime rt;
  lv_worker* w = nullptr;
  TempFiles dir;
};

// ---- The head --------------------------------------------------------------------

TEST_F(SavedStateTest, HeadLinesAreRefusedOrSkippedAsTheFormatSays) {
  user_program();
  std::string good = save("good.sav", LV_STATE_ALL_BUT_PROLOG);
  state_file f = state_file::read(good);
  uint32_t mask = f.archmask();
  EXPECT_EQ(mask, lv_emulator_archmask(LV_STATE_ALL_BUT_PROLOG));
  const char* refused = "type %s saved state, type 64-bit,BDD,GAUGE,ALL_BUT_PROLOG, emulator";
  struct head_case {
    const char* what;
    std::string head;
    int64_t rc;
    std::string message;
  } cases[] = {
      {"version 4", [&] { std::string h = f.head; h.replace(h.find("version=5"), 9, "version=4"); return h; }(),
       LVIO_E_MISC_ERROR_1, "bad saved state"},
      {"an archmask line first",
       [&] { std::string h = f.head; h.insert(h.find("version="), "archmask=0x2801b\n"); return h; }(),
       LVIO_E_MISC_ERROR_1, "bad saved state"},
      {"no version line", f.head.substr(0, f.head.find("version=")), LVIO_E_MISC_ERROR_1, "bad saved state"},
      {"a version line that does not scan",
       [&] { std::string h = f.head; h.replace(h.find("archmask=0x"), 11, "archmask=0y"); return h; }(),
       LVIO_E_MISC_ERROR_1, "bad saved state"},
      {"a line of 300 bytes before the version line is skipped",
       [&] { std::string h = f.head; h.insert(h.find("version="), std::string(300, 'x') + "\n"); return h; }(), 0, ""},
      {"32-bit words",
       [&] { state_file g = f; g.set_archmask(mask & ~3u); return g.head; }(), LVIO_E_MISC_ERROR_1,
       "type 32-bit,BDD,GAUGE,ALL_BUT_PROLOG, saved state, type 64-bit,BDD,GAUGE,ALL_BUT_PROLOG, emulator"},
      {"an increment",
       [&] { state_file g = f; g.set_archmask(lv_emulator_archmask(LV_STATE_SELECTED)); return g.head; }(),
       LVIO_E_MISC_ERROR_1, "type 64-bit,BDD,GAUGE,SELECTED, saved state, type 64-bit,BDD,GAUGE,ALL_BUT_PROLOG, emulator"},
      {"no gauge in a program state",
       [&] { state_file g = f; g.set_archmask(mask & ~LV_ARCH_GAUGE); return g.head; }(), 0, ""},
      {"no gauge in a whole system",
       [&] { state_file g = f; g.set_archmask(lv_emulator_archmask(LV_STATE_ALL) & ~LV_ARCH_GAUGE); return g.head; }(),
       LVIO_E_MISC_ERROR_1, "type 64-bit,BDD,ALL, saved state, type 64-bit,BDD,GAUGE,ALL_BUT_PROLOG, emulator"},
  };
  (void)refused;
  for (const head_case& c : cases) {
    SCOPED_TRACE(c.what);
    state_file g = f;
    g.head = c.head;
    g.write(dir.path("case.sav"));
    std::string message;
    EXPECT_EQ(open_head(dir.path("case.sav"), LV_STATE_ALL_BUT_PROLOG, &message), c.rc);
    if (c.rc != 0) {
      EXPECT_EQ(message, c.message);
    }
  }
  // An increment asked for, a full state given.
  std::string message;
  EXPECT_EQ(open_head(good, LV_STATE_SELECTED, &message), LVIO_E_MISC_ERROR_1);
  EXPECT_EQ(message, "type 64-bit,BDD,GAUGE,ALL_BUT_PROLOG, saved state, type 64-bit,BDD,GAUGE,SELECTED, emulator");
}

TEST_F(SavedStateTest, TheHeadAndTrailerHoldTheFileNameUnlessItHasANewline) {
  user_program();
  std::string plain = save("plain.sav", LV_STATE_ALL_BUT_PROLOG);
  std::string bytes = read_file(plain);
  EXPECT_EQ(bytes.substr(0, bytes.find('\n') + 1), "lorvika-4.9.0 -r %0.bat -a %1 %2 %3 %4 %5 %6 %7 %8 %9\r\n");
  EXPECT_NE(bytes.find("# META_INFO 1\n# FILE: \"" + plain + "\"\n# META_INFO END\nversion=5 archmask=0x2881b\n"),
            std::string::npos);
  size_t trailer = bytes.rfind("\n# META_INFO_SUFFIX 1\n");
  char size[64];
  std::snprintf(size, sizeof size, "# size=\"0x%zx\"\n", trailer);
  EXPECT_EQ(bytes.substr(trailer), "\n# META_INFO_SUFFIX 1\n" + std::string(size) + "# file=\"" + plain +
                                       "\"\n# META_INFO_SUFFIX END\n");

  std::string odd = save("new\nline.sav", LV_STATE_ALL_BUT_PROLOG);
  bytes = read_file(odd);
  EXPECT_EQ(bytes.find("# FILE:"), std::string::npos);
  EXPECT_EQ(bytes.find("# file="), std::string::npos);
  std::string before = listing();
  ASSERT_TRUE(call("$abolish", 2, {terms::fn(w, atom("/"), {atom("p"), lv_make_small(1)}), atom("user")}));
  EXPECT_EQ(restore(odd), 0);
  EXPECT_EQ(listing(), before);
}

// ---- The body --------------------------------------------------------------------

TEST_F(SavedStateTest, ABodyThatIsNotWholeIsRefusedWithTheProgramAsItWas) {
  user_program();
  std::string path = save("good.sav", LV_STATE_ALL_BUT_PROLOG);
  state_file f = state_file::read(path);
  std::vector<record> records = records_of(f.body);
  ASSERT_EQ(records.back().h.w[0], LV_REC_END);
  std::string bytes = f.bytes();
  size_t body_start = f.head.size();
  size_t body_end = bytes.size() - f.trailer.size();
  struct body_case {
    const char* what;
    std::string file;
    int64_t rc;
    const char* message;
  } cases[] = {
      {"one byte after the end record", f.head + deflate_all(f.body + "x") + f.trailer, LVIO_E_PARAMETER_ERROR,
       "data after the end record"},
      {"no end record", f.head + deflate_all(body_of({records.begin(), records.end() - 1})) + f.trailer,
       LVIO_E_END_OF_FILE, "the body ends without its end record"},
      {"a record cut short", f.head + deflate_all(f.body.substr(0, f.body.size() - 72 - 3)) + f.trailer,
       LVIO_E_END_OF_FILE, "the body ends inside a record"},
      {"the compressed stream without its last four bytes",
       bytes.substr(0, body_end - 4) + f.trailer, LVIO_E_END_OF_FILE, nullptr},
      {"the file cut inside the body", bytes.substr(0, (body_start + body_end) / 2), LVIO_E_END_OF_FILE, nullptr},
      {"an unknown record type",
       [&] { std::vector<record> r = records; r.insert(r.begin() + 1, record{{{99}}, ""}); return f.head + deflate_all(body_of(r)) + f.trailer; }(),
       LVIO_E_PARAMETER_ERROR, "unknown record type 99"},
  };
  std::string before = listing();
  for (const body_case& c : cases) {
    SCOPED_TRACE(c.what);
    write_file(dir.path("case.sav"), c.file);
    std::string message;
    int64_t rc = restore(dir.path("case.sav"), &message);
    EXPECT_LT(rc, 0);
    if (c.rc != LVIO_E_END_OF_FILE || c.message != nullptr) {
      EXPECT_EQ(rc, c.rc);
    }
    if (c.message != nullptr) {
      EXPECT_EQ(message, c.message);
    }
    EXPECT_EQ(listing(), before);
  }
  EXPECT_EQ(restore(path), 0);
  EXPECT_EQ(listing(), before);
}

// ---- Atoms under the library and state directories ---------------------------------

TEST_F(SavedStateTest, AtomsUnderTheLibraryAndStateDirectoriesMoveWithThem) {
  std::filesystem::create_directories(dir.path("one"));
  std::filesystem::create_directories(dir.path("two"));
  std::string lib = dir.path("lib") + "/";
  ASSERT_EQ(lvio_setting_set("LV_LIBRARY_DIR", lib.c_str()), 0);
  std::string in_state = dir.path("one/data.txt");
  std::string in_lib = lib + "lists.pl";
  ASSERT_TRUE(assertz(fact("user", "file", {atom(in_state.c_str()), atom(in_lib.c_str()), atom("/elsewhere/x")})));
  std::string path = save("one/s.sav", LV_STATE_ALL_BUT_PROLOG);
  write_file(dir.path("two/moved.sav"), read_file(path));
  std::string other_lib = dir.path("otherlib") + "/";
  ASSERT_EQ(lvio_setting_set("LV_LIBRARY_DIR", other_lib.c_str()), 0);
  ASSERT_EQ(restore(dir.path("two/moved.sav")), 0);
  lv_term_ref a = LV_new_term_refs(3);
  for (int i = 0; i < 3; i++) lv_term_ref_cell(w, a + i) = terms::var(w);
  lv_term goal = fact("user", "file", {lv_term_ref_cell(w, a), lv_term_ref_cell(w, a + 1), lv_term_ref_cell(w, a + 2)});
  ASSERT_TRUE(call("call", 1, {goal}));
  EXPECT_STREQ(lv_atom_text(rt.arg(a)), dir.path("two/data.txt").c_str());
  EXPECT_STREQ(lv_atom_text(rt.arg(a + 1)), (other_lib + "lists.pl").c_str());
  EXPECT_STREQ(lv_atom_text(rt.arg(a + 2)), "/elsewhere/x");
}

// ---- Increments --------------------------------------------------------------------

TEST_F(SavedStateTest, AnIncrementGoesOnTopOfAFullState) {
  user_program();
  std::string full = save("full.sav", LV_STATE_ALL_BUT_PROLOG);
  std::string full_p = solutions("user", "p");
  // Later the program changes; the increment holds module m2 and user:p/1.
  ASSERT_TRUE(assertz(fact("m2", "r", {lv_make_small(2)})));
  ASSERT_TRUE(call("$bb_put", 3, {atom("m2"), atom("k"), lv_make_small(5)}));
  ASSERT_TRUE(assertz(fact("user", "p", {lv_make_small(4)})));
  ASSERT_TRUE(assertz(fact("user", "s", {lv_make_small(1)})));
  std::string increment = dir.path("increment.sav");
  lv_term spec = terms::fn(w, LV_ATOM_COLON, {atom("user"), terms::fn(w, atom("/"), {atom("p"), lv_make_small(1)})});
  ASSERT_TRUE(call("$save_increment", 5,
                   {terms::list(w, {atom("m2")}), LV_ATOM_NIL, terms::list(w, {spec}), atom(increment.c_str()),
                    LV_ATOM_NIL}));
  std::string m2_r = solutions("m2", "r");
  std::string p = solutions("user", "p");
  EXPECT_EQ(read_file(increment).find("archmask=0x2801b"), read_file(increment).find("archmask="));

  ASSERT_TRUE(call("$bb_put", 3, {atom("prolog"), atom("later"), lv_make_small(1)}));
  ASSERT_EQ(restore(full), 0);
  EXPECT_FALSE(call("$bb_get", 3, {atom("prolog"), atom("later"), terms::var(w)}));
  EXPECT_EQ(solutions("user", "p"), full_p);
  EXPECT_EQ(solutions("user", "s"), "");
  ASSERT_TRUE(call("$restore_increment", 3, {atom(increment.c_str()), LV_ATOM_NIL, lv_make_small(1)}));
  EXPECT_EQ(solutions("m2", "r"), m2_r);
  EXPECT_EQ(solutions("user", "p"), p);
  EXPECT_EQ(solutions("user", "s"), "");
  lv_term_ref v = LV_new_term_ref();
  lv_term_ref_cell(w, v) = terms::var(w);
  ASSERT_TRUE(call("$bb_get", 3, {atom("m2"), atom("k"), lv_term_ref_cell(w, v)}));
  EXPECT_EQ(rt.arg(v), lv_make_small(5));
  // Neither kind restores as the other.
  EXPECT_FALSE(call("$restore", 2, {atom(increment.c_str()), LV_ATOM_NIL}));
  EXPECT_FALSE(call("$restore_increment", 3, {atom(full.c_str()), LV_ATOM_NIL, lv_make_small(0)}));
}

// ---- Database references --------------------------------------------------------------

TEST_F(SavedStateTest, AReferenceToAnErasedClauseIsSavedAsRef00) {
  lv_term_ref r = LV_new_term_ref();
  lv_term_ref_cell(w, r) = terms::var(w);
  ASSERT_TRUE(call("assertz", 2, {fact("user", "gone", {}), lv_term_ref_cell(w, r)}));
  lv_term ref = rt.arg(r);
  ASSERT_TRUE(call("erase", 1, {ref}));
  ASSERT_TRUE(assertz(fact("user", "held", {ref})));
  std::string path = save("refs.sav", LV_STATE_ALL_BUT_PROLOG);
  ASSERT_EQ(restore(path), 0);
  EXPECT_EQ(solutions("user", "held"), "'$ref'(0,0);");
}

// ---- Code that no state can hold -----------------------------------------------------

TEST_F(SavedStateTest, CodeCallingACFunctionIsRefusedUnlessItsPredicateIsVolatile) {
  lv_set_prolog_initialized(true);
  lv_pred* p = lv_lookup_predicate(find_module(atom("user"), 1), atom("ff"), 0, LV_LOOKUP_CREATE);
  lv_new_clause_list(p, LV_DEF_COMPACTCODE);
  assembler::Assembler a;
  a.op(LV_OP_CALL_FOREIGN, {assembler::A(reinterpret_cast<const uint32_t*>(0x1234)), assembler::S(0)})
      .op(LV_OP_PROCEED)
      .op(LV_OP_END_OF_CLAUSE, {assembler::P(p)});
  lv_code_block* b = a.finish();
  lv_append_clause(p, b, 31, 0);
  std::string path = dir.path("foreign.sav");
  EXPECT_FALSE(call("$save", 3, {atom(path.c_str()), lv_make_small(0), LV_ATOM_NIL}));
  EXPECT_NE(rt.last_exception().find("user:ff/0 cannot be saved: its code holds CALL_FOREIGNQ"), std::string::npos)
      << rt.last_exception();
  EXPECT_FALSE(std::ifstream(path).good());
  p->flags |= LV_PRED_VOLATILE;
  EXPECT_TRUE(call("$save", 3, {atom(path.c_str()), lv_make_small(0), LV_ATOM_NIL}));
  ASSERT_EQ(restore(path), 0);
  EXPECT_EQ(lv_definition_type(p), LV_DEF_COMPACTCODE);
  EXPECT_EQ(static_cast<lv_clause_list*>(p->definition)->head, nullptr);
  EXPECT_NE(p->flags & LV_PRED_VOLATILE, 0u);
}

// ---- Faults found while the state is applied ---------------------------------------

TEST_F(SavedStateTest, AnUndefinedKeyFailsTheRestoreAndResetsTheProgram) {
  user_program();
  std::string path = save("good.sav", LV_STATE_ALL_BUT_PROLOG);
  state_file f = state_file::read(path);
  std::vector<record> records = records_of(f.body);
  // The last dynamic clause names a predicate the state never defined.
  for (auto r = records.rbegin(); r != records.rend(); ++r)
    if (r->h.w[0] == LV_REC_CLAUSE) {
      r->h.w[1] = 0x7770;
      break;
    }
  f.body = body_of(records);
  f.write(dir.path("bad.sav"));
  std::string message;
  EXPECT_EQ(restore(dir.path("bad.sav"), &message), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(message, "relocation undefined, key=0x7771");
  EXPECT_EQ(solutions("user", "p"), "");
  EXPECT_EQ(solutions("m2", "r"), "");
  // The system still runs, and the good state goes back in.
  EXPECT_TRUE(call("length", 2, {terms::list(w, {atom("a")}), terms::var(w)}));
  EXPECT_EQ(restore(path), 0);
  EXPECT_EQ(solutions("user", "p"), "1;2;3;");
  // Through the built-in, a record fault fails it without an exception.
  lv_set_prolog_initialized(true);
  long faults = rt.faults();
  EXPECT_FALSE(call("$restore", 2, {atom(dir.path("bad.sav").c_str()), LV_ATOM_NIL}));
  EXPECT_EQ(rt.faults(), faults);
}

TEST_F(SavedStateTest, ClausesOfAPredicateOfTheOtherKindWaitInModuleRestore) {
  user_program();
  std::string path = save("good.sav", LV_STATE_ALL_BUT_PROLOG);
  state_file f = state_file::read(path);
  std::vector<record> records = records_of(f.body);
  // Without its properties record user:p/1 is undefined here: its clauses
  // are held.
  uint64_t p_key = 0;
  for (const record& r : records)
    if (r.h.w[0] == LV_REC_PREDICATE && lv_functor_arity(r.h.w[3]) == 1 && r.h.w[3] != 0) {
      const record* atom_record = nullptr;
      for (const record& a : records)
        if (a.h.w[0] == LV_REC_ATOM && a.h.w[1] == (r.h.w[3] & ~LV_ARITY_BITS)) atom_record = &a;
      if (atom_record != nullptr && atom_record->payload == std::string("p", 2)) p_key = r.h.w[1];
    }
  ASSERT_NE(p_key, 0u);
  std::vector<record> kept;
  for (const record& r : records)
    if (!(r.h.w[0] == LV_REC_PROPERTIES && r.h.w[1] == p_key)) kept.push_back(r);
  f.body = body_of(kept);
  f.write(dir.path("held.sav"));
  ASSERT_EQ(restore(dir.path("held.sav")), 0);
  EXPECT_EQ(solutions("$restore", "p"), "1;2;3;");
  lv_term_ref a = LV_new_term_refs(3);
  for (int i = 0; i < 3; i++) lv_term_ref_cell(w, a + i) = terms::var(w);
  ASSERT_TRUE(call("call", 1,
                   {fact("$restore", "$restore", {lv_term_ref_cell(w, a), lv_term_ref_cell(w, a + 1),
                                                  lv_term_ref_cell(w, a + 2)})}));
  EXPECT_EQ(rt.arg(a), atom("user"));
  EXPECT_EQ(rt.arg(a + 1), atom("p"));
  EXPECT_EQ(rt.arg(a + 2), lv_make_small(1));
}

// ---- Another byte order, opcode encoding and X0 place ----------------------------------

TEST_F(SavedStateTest, AStateOfAnotherByteOrderOpcodeEncodingAndX0PlaceRestoresTheSame) {
  user_program();
  std::string path = save("system.sav", LV_STATE_ALL);
  ASSERT_EQ(restore(path), 0);
  std::string expected = listing(true);
  state_file f = state_file::read(path);
  const struct {
    const char* what;
    encoding e;
  } cases[] = {
      {"big-endian", {true, false, 0}},
      {"opcodes << 4", {false, true, 0}},
      {"X0 one word on", {false, false, 1}},
      {"all three", {true, true, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    state_file g = f;
    g.body = encode_body(f.body, c.e);
    uint32_t mask = f.archmask();
    if (c.e.swap) mask |= LV_ARCH_BIG_ENDIAN;
    if (c.e.shift4) mask |= 1u << 5;
    mask += static_cast<uint32_t>(c.e.x0_delta) << LV_ARCH_X0_SHIFT;
    g.set_archmask(mask);
    g.write(dir.path("other.sav"));
    std::string message;
    ASSERT_EQ(restore(dir.path("other.sav"), &message), 0) << message;
    EXPECT_EQ(listing(true), expected);
  }
}

// ---- The Prolog side ---------------------------------------------------------------

TEST_F(SavedStateTest, RestoreReloadsForeignResourcesAndRunsTheSavedGoal) {
  lv_set_prolog_initialized(true);
  user_program();
  std::string path = dir.path("program.sav");
  // A resource the program had loaded: the record is the state's, the
  // resource is not loaded here (it does not exist), which is reported.
  ASSERT_TRUE(assertz(fact("prolog", "$foreign_loaded", {atom("no_such_resource"), atom("user"), LV_ATOM_NIL})));
  lv_term goal = fact("user", "assertz", {fact("user", "ran", {atom("yes")})});
  ASSERT_TRUE(call("save_program", 2, {atom(path.c_str()), goal}));
  ASSERT_TRUE(call("abolish", 1, {terms::fn(w, LV_ATOM_COLON, {atom("user"), terms::fn(w, atom("/"), {atom("p"), lv_make_small(1)})})}));
  ASSERT_TRUE(call("restore", 1, {atom(path.c_str())}));
  EXPECT_EQ(rt.faults(), 0) << rt.last_exception();
  EXPECT_EQ(solutions("user", "p"), "1;2;3;");
  EXPECT_EQ(solutions("user", "ran"), "'yes';");
  lv_term_ref a = LV_new_term_refs(3);
  for (int i = 0; i < 3; i++) lv_term_ref_cell(w, a + i) = terms::var(w);
  EXPECT_FALSE(call("call", 1,
                    {fact("prolog", "$foreign_loaded", {lv_term_ref_cell(w, a), lv_term_ref_cell(w, a + 1),
                                                        lv_term_ref_cell(w, a + 2)})}));
  // Errors are ISO errors of restore/1 and save_program/1.
  EXPECT_FALSE(call("restore", 1, {lv_make_small(3)}));
  EXPECT_NE(rt.last_exception().find("type_error"), std::string::npos);
  EXPECT_FALSE(call("restore", 1, {atom(dir.path("missing.sav").c_str())}));
  EXPECT_NE(rt.last_exception().find("existence_error"), std::string::npos) << rt.last_exception();
}

// ---- Damage at random ------------------------------------------------------------------

// States damaged at random are refused or read, never a crash or a hang:
// bytes of the file changed, cut or added, and records of the body changed,
// dropped, repeated or exchanged and compressed again (so that the checks
// of the records themselves are reached). After a restore that succeeds,
// the collectors walk what was restored.
TEST_F(SavedStateTest, DamagedStatesAreRefusedOrReadNeverACrash) {
  user_program();
  std::string program = save("program.sav", LV_STATE_ALL_BUT_PROLOG);
  std::string system = save("system.sav", LV_STATE_ALL);
  std::mt19937_64 random(20240611);
  auto pick = [&](uint64_t n) { return n == 0 ? 0 : random() % n; };
  int restored = 0, refused = 0;
  for (int round = 0; round < 400; round++) {
    bool whole = round % 8 == 7;
    state_file f = state_file::read(whole ? system : program);
    std::string bytes;
    if (round % 2 == 0) {
      bytes = f.bytes();
      switch (pick(3)) {
        case 0:
          for (uint64_t i = 0, n = 1 + pick(8); i < n; i++) bytes[pick(bytes.size())] ^= static_cast<char>(1 + pick(255));
          break;
        case 1: bytes.resize(pick(bytes.size())); break;
        default: bytes.insert(pick(bytes.size()), std::string(1 + pick(16), static_cast<char>(pick(256)))); break;
      }
    } else {
      std::vector<record> records = records_of(f.body);
      for (uint64_t i = 0, n = 1 + pick(4); i < n; i++) {
        uint64_t at = pick(records.size());
        record& r = records[at];
        switch (pick(5)) {
          case 0: r.h.w[pick(9)] ^= uint64_t{1} << pick(64); break;
          case 1:
            if (!r.payload.empty()) r.payload[pick(r.payload.size())] ^= static_cast<char>(1 + pick(255));
            break;
          case 2: records.erase(records.begin() + static_cast<long>(at)); break;
          case 3: records.insert(records.begin() + static_cast<long>(pick(records.size())), r); break;
          default: std::swap(r, records[pick(records.size())]); break;
        }
        if (records.empty()) break;
      }
      f.body = body_of(records);
      bytes = f.bytes();
    }
    write_file(dir.path("damaged.sav"), bytes);
    std::string message;
    if (restore(dir.path("damaged.sav"), &message) == 0) {
      restored++;
      lv_garbage_collect_atoms(w);
      lv_gc(w);
    } else {
      refused++;
    }
  }
  EXPECT_GT(refused, 0);
  RecordProperty("restored", restored);
  // The good state still goes back in and the system still runs.
  ASSERT_EQ(restore(system), 0);
  ASSERT_EQ(restore(program), 0);
  EXPECT_EQ(solutions("user", "p"), "1;2;3;");
}

// ---- Code damaged at random ----------------------------------------------------------

const char* const FUZZ_PROGRAM =
    "app([], L, L).\n"
    "app([H|T], L, [H|R]) :- app(T, L, R).\n"
    "nrev([], []).\n"
    "nrev([H|T], R) :- nrev(T, RT), app(RT, [H], R).\n"
    "len([], 0).\n"
    "len([_|T], N) :- len(T, M), N is M + 1.\n"
    "sum([], S, S).\n"
    "sum([X|Xs], S0, S) :- S1 is S0 + X * 2 - 1, sum(Xs, S1, S).\n"
    "classify(X, K) :- ( X = [_|_] -> K = list ; atom(X) -> K = atom ; number(X), X > 3 -> K = big ; K = other ).\n"
    "color(red, 1). color(green, 2). color(blue, 3). color(f(_), 4). color(2.5, 5).\n"
    "pick(X) :- color(X, N), N >= 2, !.\n"
    "count(N, N) :- !.\n"
    "count(I, N) :- I < N, I1 is I + 1, count(I1, N).\n"
    "walk(T, N) :- ( compound(T) -> functor(T, _, A), arg(1, T, X), walk(X, N0), N is N0 + A ; N = 0 ).\n"
    "main(R) :- nrev([1,2,3,4,5,6,7], L), len(L, N), sum(L, 0, S), classify(L, K), "
    "( pick(P) -> true ; P = none ), count(0, 50), walk(f(g(h(a, b), c)), W), "
    "findall(C, color(C, _), Cs), atom_codes(abc, Codes), R = r(L, N, S, K, P, W, Cs, Codes).\n";

// The instruction starts of a block's code (as encode_code walks it).
std::vector<size_t> instruction_starts(const std::string& code, uint64_t old_start) {
  std::vector<size_t> out;
  auto word = [&](size_t i) {
    uint32_t v;
    std::memcpy(&v, code.data() + 4 * i, 4);
    return v;
  };
  size_t words = code.size() / 4;
  for (size_t p = 0; p < words;) {
    uint32_t op = word(p);
    if (op == LV_INTERNAL_HEADER_WORD) {
      uint64_t first = word_at(code, 4 * (p + 4));
      size_t q = p + 8;
      if (first != old_start + 4 * p + 32) {  // a try record chain follows
        for (;; q += 8)
          if (word_at(code, 4 * q) == 0) break;
        q += 8;
      }
      p = q;
      continue;
    }
    out.push_back(p);
    uint32_t n = op >> 1;
    if (n >= LV_INSN_COUNT) break;
    int32_t format = lv_instruction_format_table[n];
    size_t q = p + 1;
    if (format == 72) {
      p = q + word(q);
      continue;
    }
    for (const char* k = lv_format_operands[format]; *k != '\0'; k++) {
      switch (*k) {
        case 'X': case 'p': case 'Y': case 'S': case 'N': q++; break;
        case 'R': q += 1 + (word(q) >> 8); break;
        case 'G': q += 1 + 2 * word(q); break;
        case 'B': q += 2 * (lv_box_value_words(word_at(code, 4 * q)) + 1); break;
        default: q += 2; break;
      }
    }
    p = q;
  }
  return out;
}

// States whose code is damaged and compressed again, so that only the
// checks of the code stand between it and the emulator: an instruction
// changed for another, an operand word changed, a clause's key bits
// changed. Each is refused or, restored, runs its program to an answer, a
// failure, an error or a time-out: never a crash or a hang. The seed and
// the number of rounds can be given (LV_FUZZ_SEED, LV_FUZZ_ROUNDS) for a
// longer run by hand.
TEST_F(SavedStateTest, DamagedCodeIsRefusedOrRunsNeverACrash) {
  std::string source = dir.path("fuzz.pl");
  write_file(source, FUZZ_PROGRAM);
  ASSERT_EQ(lv_init_ds(nullptr), 0);
  ASSERT_TRUE(call("consult", 1, {atom(source.c_str())})) << rt.last_exception();
  std::string answer = solutions("user", "main");
  ASSERT_NE(answer, "");
  std::string program = save("fuzz.sav", LV_STATE_ALL_BUT_PROLOG);
  state_file good = state_file::read(program);
  std::vector<record> records = records_of(good.body);
  std::vector<size_t> code_records;
  for (size_t i = 0; i < records.size(); i++)
    if (records[i].h.w[0] == LV_REC_CODE) code_records.push_back(i);
  ASSERT_FALSE(code_records.empty());
  const char* rounds_env = std::getenv("LV_FUZZ_ROUNDS");
  const char* seed_env = std::getenv("LV_FUZZ_SEED");
  int rounds = rounds_env != nullptr ? std::atoi(rounds_env) : 300;
  std::mt19937_64 random(seed_env != nullptr ? std::strtoull(seed_env, nullptr, 10) : 20261211);
  auto pick = [&](uint64_t n) { return n == 0 ? 0 : random() % n; };
  int restored = 0;
  for (int round = 0; round < rounds; round++) {
    std::vector<record> damaged = records;
    record& r = damaged[code_records[pick(code_records.size())]];
    uint64_t aux = r.h.w[7];
    uint64_t words = (r.payload.size() - aux) / 4;
    std::vector<size_t> starts =
        instruction_starts(r.payload.substr(aux), r.h.w[3] - (r.h.w[2] >> 9) + sizeof(lv_code_block));
    if (starts.empty() || words == 0) continue;
    uint32_t word = 0;
    size_t at = 0;
    switch (round % 3) {
      case 0:  // an instruction changed for another
        at = starts[pick(starts.size())];
        word = static_cast<uint32_t>(2 * pick(LV_INSN_COUNT));
        break;
      case 1: {  // an operand word: a neighbouring register or variable, a small number, any word
        at = pick(words);
        std::memcpy(&word, r.payload.data() + aux + 4 * at, 4);
        uint64_t how = pick(3);
        word = how == 0 ? word + 8 * (pick(2) == 0 ? 1 : -1) : how == 1 ? static_cast<uint32_t>(pick(64)) : static_cast<uint32_t>(random());
        break;
      }
      default:  // the clause's key bits
        r.h.w[2] = (r.h.w[2] & ~uint64_t{0x1FF}) | pick(0x200);
        break;
    }
    if (round % 3 != 2) std::memcpy(r.payload.data() + aux + 4 * at, &word, 4);
    state_file f = good;
    f.body = body_of(damaged);
    write_file(dir.path("damaged.sav"), f.bytes());
    if (restore(dir.path("damaged.sav")) != 0) continue;
    restored++;
    // Caught here: a damaged program's ball may be any term, cyclic ones
    // included, which the harness need not print.
    lv_term goal = terms::fn(w, LV_ATOM_COLON, {atom("user"), terms::fn(w, atom("main"), {terms::var(w)})});
    lv_term timed = terms::fn(w, atom("time_out"), {goal, lv_make_small(2000), terms::var(w)});
    call("catch", 3, {timed, terms::var(w), LV_ATOM_TRUE});
  }
  RecordProperty("restored", restored);
  ASSERT_EQ(restore(program), 0);
  EXPECT_EQ(solutions("user", "main"), answer);
}

}  // namespace
