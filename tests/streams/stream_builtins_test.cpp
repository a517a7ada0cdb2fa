// The stream built-ins called through the emulator: opening (modes, flags,
// unique names, relative names, resources), closing, enumeration, the
// standard and current streams, properties, counters and positions,
// checked, fast and buffered reads and writes, flushing, select without
// waiting, time-outs and compression, and the errors each raises.
#include <fcntl.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <fstream>
#include <sstream>

#include "lvio/environment.h"
#include "streams/diagnostics.h"
#include "streams/file_names.h"
#include "streams/stream_internal.h"
#include "builtin_query.h"

namespace {

using builtin_query::StreamBuiltinTest;

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Flags of $open.
constexpr int64_t INTERACTIVE = 1 << 3;
constexpr int64_t REPOSITION = 1 << 8;
constexpr int64_t END_CODE = 1 << 9;
constexpr int64_t END_RESET = 1 << 10;
constexpr int64_t BINARY = 1 << 11;
constexpr int64_t CLOSE_CLEANUP = 1 << 12;
constexpr int64_t LINE_FLUSH = 1 << 15;
constexpr int64_t EXCLUSIVE = 1 << 16;
constexpr int64_t UNIQUE = 1 << 17;
constexpr int64_t NAME_LAYER = 1 << 19;

class StreamBuiltins : public StreamBuiltinTest {
 protected:
  void TearDown() override {
    lv_set_current_dir_options(0);
    StreamBuiltinTest::TearDown();
  }

  // Opens a file with $open: the stream, or null (the outcome is kept).
  lv_stream* open(const std::string& path, const char* mode, int64_t flags, const char* encoding = "[]") {
    last = q("'$open'(" + A(path) + ", " + mode + ", " + std::to_string(flags) + ", " + encoding + ", S)");
    return last.rfind("S=", 0) == 0 ? stream_of(last) : nullptr;
  }
  std::string put_codes(lv_stream* s, const std::u32string& codes) {
    for (char32_t c : codes) {
      std::string r = q("'$put_code_fail_on_interrupt'(" + S(s) + ", " + std::to_string(c) + ", 0)");
      if (r != "true") return r;
    }
    return "true";
  }
  std::string get(lv_stream* s, bool bytes = false, int options = 0) {
    return q(std::string(bytes ? "'$get_byte_fail_on_interrupt'(" : "'$get_code_fail_on_interrupt'(") + S(s) +
             ", C, " + std::to_string(options) + ")");
  }
  std::string close(lv_stream* s, int options = 0) {
    return q("'$close_fail_on_interrupt'(" + S(s) + ", " + std::to_string(options) + ")");
  }
  std::string error(int code, const std::string& message, const std::string& context, int argument,
                    const std::string& culprit) {
    return "error(" + std::to_string(code) + (message.empty() ? "" : "/" + message) + ",prolog:" + context + "," +
           std::to_string(argument) + "," + culprit + ")";
  }

  std::string last;
};

TEST_F(StreamBuiltins, TheWrapperAtomIsPredefined) {
  EXPECT_STREQ(lv_atom_text(LV_ATOM_STREAM_WRAPPER_), "$stream");
  for (auto [atom, text] : {std::pair{LV_ATOM_PAST_, "past"}, {LV_ATOM_APPEND_, "append"},
                            {LV_ATOM_READWRITE_, "readwrite"}, {LV_ATOM_INFINITE_, "infinite"},
                            {LV_ATOM_BOF_, "bof"}, {LV_ATOM_CURRENT_, "current"}, {LV_ATOM_EOF_, "eof"}})
    EXPECT_STREQ(lv_atom_text(atom), text);
}

TEST_F(StreamBuiltins, OpenWritesAppendsAndReads) {
  std::string f = dir.path("a.txt");
  lv_stream* s = open(f, "write", 0);
  ASSERT_NE(s, nullptr) << last;
  EXPECT_EQ(put_codes(s, U"h\u00e9\n"), "true");
  EXPECT_EQ(close(s), "true");
  EXPECT_EQ(file_bytes(f), "h\xe9\n");  // the default encoding, ISO-8859-1, without a mark
  s = open(f, "append", 0, "encoding('UTF-8', default, default)");
  ASSERT_NE(s, nullptr) << last;
  EXPECT_EQ(put_codes(s, U"\u20ac"), "true");
  EXPECT_EQ(close(s), "true");
  EXPECT_EQ(file_bytes(f), "h\xe9\n\xe2\x82\xac");  // no mark when appending
  s = open(f, "read", BINARY);
  ASSERT_NE(s, nullptr) << last;
  std::string bytes;
  for (const char* b : {"104", "233", "10", "226", "130", "172", "-1"}) bytes += get(s, true) == std::string("C=") + b;
  EXPECT_EQ(bytes, std::string(7, '\1'));
  // Reading again past the end raises.
  EXPECT_EQ(get(s, true), error(1798, "", "$get_byte_fail_on_interrupt/3", 1, S(s)));
  EXPECT_EQ(close(s), "true");
}

TEST_F(StreamBuiltins, OpenErrors) {
  dir.file("there", "x");
  std::string there = A(dir.path("there"));
  std::string missing = A(dir.path("missing"));
  struct Case {
    std::string goal;
    std::string outcome;
  } cases[] = {
      {"'$open'(f(x), read, 0, [], S)", error(5, "LVIO_E_PARAMETER_ERROR", "$open/5", 1, "f(x)")},
      {"'$open'(" + there + ", 1, 0, [], S)", error(5, "LVIO_E_PARAMETER_ERROR", "$open/5", 2, "1")},
      {"'$open'(" + there + ", read, x, [], S)", error(5, "LVIO_E_PARAMETER_ERROR", "$open/5", 3, "x")},
      {"'$open'(" + missing + ", read, 0, [], S)", error(1284, "", "$open/5", 1, dir.path("missing"))},
      {"'$open'(" + there + ", write, " + std::to_string(EXCLUSIVE) + ", [], S)",
       error(1030, "", "$open/5", 1, dir.path("there"))},
      {"'$open'(" + there + ", read, 0, foo, S)", error(5, "internal error", "$open/5", 1, dir.path("there"))},
      {"'$open'(" + there + ", read, 0, encoding(nonesuch, default, default), S)",
       error(5, "LVIO_E_CHARSET_NOT_FOUND", "$open/5", 1, dir.path("there"))},
      {"'$open'(" + there + ", read, " + std::to_string(REPOSITION) + ", encoding('UTF-8', default, crlf), S)",
       error(1286, "", "$open/5", 1, dir.path("there"))},
      {"'$open'(" + A(dir.path("")) + ", read, 0, [], S)", error(5, "LVIO_E_FILE_IS_DIRECTORY", "$open/5", 1, dir.path(""))},
  };
  for (const Case& c : cases) EXPECT_EQ(q(c.goal), c.outcome) << c.goal;
}

TEST_F(StreamBuiltins, UniqueNamesGoBeforeTheExtension) {
  ASSERT_EQ(mkdir(dir.path("d.x").c_str(), 0700), 0);
  struct Case {
    const char* name;
    const char* before;  // the last component is before, digits, after
    const char* after;
  } cases[] = {{"a.txt", "a", ".txt"}, {"d.x/plain", "plain", ""}, {"b.tar.gz", "b.tar", ".gz"}};
  for (const Case& c : cases) {
    dir.file(c.name, "taken");
    lv_stream* s = open(dir.path(c.name), "write", EXCLUSIVE | UNIQUE);
    ASSERT_NE(s, nullptr) << last;
    std::string name = lv_stream_name(s);
    std::string where = dir.path(c.name);
    where = where.substr(0, where.rfind('/') + 1);
    EXPECT_EQ(name.substr(0, where.size()), where);
    std::string component = name.substr(where.size());
    std::string before = c.before, after = c.after;
    ASSERT_GT(component.size(), before.size() + after.size()) << name;
    std::string digits = component.substr(before.size(), component.size() - before.size() - after.size());
    EXPECT_EQ(component.substr(0, before.size()), before) << name;
    EXPECT_EQ(component.substr(component.size() - after.size()), after) << name;
    EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << name;
    EXPECT_EQ(file_bytes(dir.path(c.name)), "taken");
    EXPECT_EQ(close(s), "true");
    EXPECT_EQ(access(name.c_str(), F_OK), 0);
  }
  // Without the unique-name flag the name stays taken.
  EXPECT_EQ(open(dir.path("a.txt"), "write", EXCLUSIVE), nullptr);
}

// A relative name is opened in the runtime's current directory, where its
// recorded name also puts it; other names are recorded normalised.
TEST_F(StreamBuiltins, RelativeNamesUseTheRuntimeCurrentDirectory) {
  lv_set_current_dir_options(1);  // the process's working directory stays
  ASSERT_EQ(LV_set_current_dir(dir.path("").c_str()), 0);
  lv_stream* s = open("rel.txt", "write", 0);
  ASSERT_NE(s, nullptr) << last;
  EXPECT_EQ(std::string(lv_stream_name(s)), dir.path("rel.txt"));
  EXPECT_EQ(put_codes(s, U"r"), "true");
  EXPECT_EQ(close(s), "true");
  EXPECT_EQ(file_bytes(dir.path("rel.txt")), "r");
  EXPECT_NE(access("rel.txt", F_OK), 0);
  ASSERT_EQ(mkdir(dir.path("sub").c_str(), 0700), 0);
  s = open(dir.path("sub/../b.txt"), "write", 0);
  ASSERT_NE(s, nullptr) << last;
  EXPECT_EQ(std::string(lv_stream_name(s)), dir.path("b.txt"));
  EXPECT_EQ(close(s), "true");
}

TEST_F(StreamBuiltins, OpenFlagsBecomeCapabilities) {
  dir.file("f", "abc");
  lv_stream* s = open(dir.path("f"), "read", END_CODE | CLOSE_CLEANUP);
  ASSERT_NE(s, nullptr) << last;
  EXPECT_EQ(s->capabilities & (LV_CAP_END_CODE | LV_CAP_CLOSE_CLEANUP | LV_CAP_END_RESET),
            LV_CAP_END_CODE | LV_CAP_CLOSE_CLEANUP);
  s->flags &= ~LV_STREAM_CLOSE_CLEANUP;  // no Prolog side here to run it
  lv_stream* t = open(dir.path("f"), "read", END_RESET | INTERACTIVE);
  ASSERT_NE(t, nullptr) << last;
  EXPECT_EQ(t->capabilities & (LV_CAP_END_RESET | LV_CAP_INTERACTIVE), LV_CAP_END_RESET | LV_CAP_INTERACTIVE);
  lv_stream* u = open(dir.path("g"), "write", LINE_FLUSH);
  ASSERT_NE(u, nullptr) << last;
  EXPECT_NE(u->capabilities & LV_CAP_LINE_FLUSH, 0u);
  lv_stream* v = open(dir.path("f"), "read", REPOSITION | BINARY);
  ASSERT_NE(v, nullptr) << last;
  EXPECT_NE(v->capabilities & LV_CAP_REPOSITIONABLE, 0u);
}

TEST_F(StreamBuiltins, OpenReadsAResourceThroughTheFileNameLayer) {
  lv_stream* s = open("url:x-lorvika-resource:/test/greeting.txt", "read", NAME_LAYER,
                      "encoding('UTF-8', default, default)");
  ASSERT_NE(s, nullptr) << last;
  EXPECT_STREQ(lv_stream_name(s), "url:x-lorvika-resource:/test/greeting.txt");
  std::string first;
  for (int i = 0; i < 5; i++) first += static_cast<char>(std::stoi(get(s).substr(2)));
  EXPECT_EQ(first, "Hello");
  EXPECT_EQ(q("'$open'('url:x-lorvika-resource:/test/greeting.txt', write, " + std::to_string(NAME_LAYER) +
              ", [], S)"),
            error(1030, "", "$open/5", 1, "url:x-lorvika-resource:/test/greeting.txt"));
}

TEST_F(StreamBuiltins, CloseAndItsErrors) {
  dir.file("f", "abc");
  lv_stream* s = open(dir.path("f"), "read", 0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(close(s), "true");
  EXPECT_EQ(close(s), error(LV_ERROR_NO_SUCH_STREAM, "", "$close_fail_on_interrupt/2", 1, S(s)));
  EXPECT_EQ(q("'$close_fail_on_interrupt'(user_output, x)"),
            error(1025, "integer", "$close_fail_on_interrupt/2", 2, "x"));
  EXPECT_EQ(q("'$close_fail_on_interrupt'(user_output, -1)"), error(1282, "", "$close_fail_on_interrupt/2", 2, "-1"));
  // A standard stream stays open unless it is replaced.
  lv_stream* out = lv_streams.user[LV_STD_OUTPUT];
  EXPECT_EQ(q("'$close_fail_on_interrupt'(user_output, 0)"), "true");
  EXPECT_EQ(lv_streams.user[LV_STD_OUTPUT], out);
  EXPECT_EQ(q("'$close_fail_on_interrupt'(user_output, 2)"), "true");
  EXPECT_EQ(lv_streams.user[LV_STD_OUTPUT], lv_null_stream());
  // One side of a stream that has both.
  lv_stream* both = nullptr;
  ASSERT_EQ(lv_stream_from_memory(nullptr, 0, &both, LV_FROM_MEMORY_READ | LV_FROM_MEMORY_WRITE), 0);
  EXPECT_EQ(close(both, 4), "true");
  EXPECT_EQ(both->flags & (LV_STREAM_INPUT | LV_STREAM_OUTPUT), LV_STREAM_OUTPUT);
  EXPECT_EQ(close(both, 8), "true");
  EXPECT_EQ(lv_stream_known(both), nullptr);
  // A write that fails at the close is raised, and a forced close then ends
  // the stream.
  lv_stream* sink = nullptr;
  builtin_query::Sink failing;
  ASSERT_EQ(LV_create_stream(&failing, &builtin_query::sink_tag, nullptr, builtin_query::sink_write, nullptr, nullptr,
                             builtin_query::sink_close, nullptr, nullptr, nullptr, LV_CREATE_CODES, &sink),
            0);
  EXPECT_EQ(put_codes(sink, U"x"), "true");
  failing.fail = true;
  EXPECT_EQ(close(sink), error(5, "LVIO_E_WRITE_ERROR", "$close_fail_on_interrupt/2", 1, S(sink)));
  EXPECT_EQ(close(sink, 1), "true");
}

TEST_F(StreamBuiltins, NextStreamEnumeratesOldestFirst) {
  dir.file("r", "x");
  lv_stream* r = open(dir.path("r"), "read", 0);
  lv_stream* a = open(dir.path("a"), "append", 0);
  lv_stream* both = nullptr;
  ASSERT_EQ(lv_stream_from_memory(nullptr, 0, &both, LV_FROM_MEMORY_READ | LV_FROM_MEMORY_WRITE), 0);
  ASSERT_NE(r, nullptr);
  ASSERT_NE(a, nullptr);
  // The standard streams first (the hidden null stream never), then the
  // files in the order they were opened.
  EXPECT_EQ(q("'$next_stream'(F, M, S, [], 0)"), "F= M=read S=" + S(lv_streams.user[LV_STD_INPUT]));
  std::string standard = std::to_string(LV_CAP_STANDARD);
  EXPECT_EQ(q("'$next_stream'(F, M, S, [], " + standard + ")"), "F=" + dir.path("r") + " M=read S=" + S(r));
  EXPECT_EQ(q("'$next_stream'(F, M, S, [" + S(r) + "], " + standard + ")"),
            "F=" + dir.path("a") + " M=append S=" + S(a));
  EXPECT_EQ(q("'$next_stream'(F, M, S, ['$stream'(" + S(r) + "), " + S(a) + "], " + standard + ")"),
            "F= M=readwrite S=" + S(both));
  EXPECT_EQ(q("'$next_stream'(F, M, " + S(a) + ", [], 0)"), "F=" + dir.path("a") + " M=append");
  std::string err = S(lv_streams.user[LV_STD_ERROR]);
  EXPECT_EQ(q("'$next_stream'(F, M, " + err + ", [], 0)"), "F= M=write");
  // A bound stream with a forbidden capability is not taken (nor is an
  // alias: hidden streams are always forbidden, and aliases name none).
  EXPECT_EQ(q("'$next_stream'(F, M, " + err + ", [], " + standard + ")"), "fail");
  EXPECT_EQ(q("'$next_stream'(F, M, user_error, [], 0)"), "fail");
  EXPECT_EQ(q("'$next_stream'(F, M, S, [], " + std::to_string(LV_CAP_STREAM) + ")"), "fail");
  EXPECT_EQ(q("'$next_stream'(F, M, S, [], -1)"), "fail");
  EXPECT_EQ(q("'$next_stream'(F, M, S, [a|T], 0)"), "fail");
}

TEST_F(StreamBuiltins, NullStreamsFlagsIdsAndCodes) {
  std::string made = q("'$open_null'(S)");
  lv_stream* n = stream_of(made);
  ASSERT_NE(lv_stream_known(n), nullptr);
  EXPECT_EQ(n->capabilities & (LV_CAP_OUTPUT | LV_CAP_INPUT | LV_CAP_HIDDEN), LV_CAP_OUTPUT);
  EXPECT_EQ(put_codes(n, U"gone"), "true");
  EXPECT_EQ(q("'$stream_flags'(" + S(n) + ", F)"), "F=" + std::to_string(n->capabilities));
  EXPECT_EQ(q("'$stream_flags'(nonesuch, F)"), "fail");
  EXPECT_EQ(q("'$set_stream_flags'(" + S(n) + ", 1)"), "true");
  EXPECT_EQ(n->flags & LV_STREAM_CLOSE_CLEANUP, 0u);
  EXPECT_EQ(q("'$set_stream_flags'(" + S(n) + ", " + std::to_string(LV_CAP_CLOSE_CLEANUP) + ")"), "true");
  EXPECT_NE(n->capabilities & LV_CAP_CLOSE_CLEANUP, 0u);
  n->flags &= ~LV_STREAM_CLOSE_CLEANUP;
  EXPECT_EQ(q("'$set_stream_flags'(" + S(n) + ", x)"), "fail");
  EXPECT_EQ(q("'$stream_id'(" + S(n) + ", I)"), "I=" + std::to_string(n->id));
  EXPECT_EQ(q("'$stream_id'(12, I)"), "fail");
  EXPECT_EQ(q("'$stream_code'(user_error, A)"), "A=" + S(lv_streams.user[LV_STD_ERROR]));
  EXPECT_EQ(q("'$stream_code'(X, " + S(n) + ")"), "X=" + S(n));
  EXPECT_EQ(q("'$stream_code'(X, 12)"), "fail");
  EXPECT_EQ(q("'$stream_code'(nonesuch, A)"), "fail");
}

TEST_F(StreamBuiltins, CurrentAndStandardStreams) {
  lv_stream* in = lv_streams.user[LV_STD_INPUT];
  lv_stream* out = lv_streams.user[LV_STD_OUTPUT];
  lv_stream* mem = nullptr;
  ASSERT_EQ(lv_stream_from_memory(nullptr, 0, &mem, LV_FROM_MEMORY_READ | LV_FROM_MEMORY_WRITE), 0);
  EXPECT_EQ(q("'$input'(Old, " + S(mem) + ")"), "Old=" + S(in));
  EXPECT_EQ(lv_streams.current_input, mem);
  EXPECT_EQ(q("'$input'(Old, user_output)"), "fail");  // not an input stream
  EXPECT_EQ(lv_streams.current_input, mem);
  EXPECT_EQ(q("'$input'(Old, user_input)"), "Old=" + S(mem));
  EXPECT_EQ(q("'$output'(Old, " + S(mem) + ")"), "Old=" + S(out));
  EXPECT_EQ(lv_streams.current_output, mem);
  EXPECT_EQ(q("'$output'(" + S(mem) + ", user)"), "true");
  EXPECT_EQ(lv_streams.current_output, out);
  EXPECT_EQ(q("'$output'(" + S(mem) + ", user)"), "fail");  // Old does not match
  EXPECT_EQ(q("'$stdoutput'(Old, Old)"), "Old=" + S(out));
  EXPECT_EQ(q("'$stdoutput'(Old, " + S(mem) + ")"), "Old=" + S(out));
  EXPECT_EQ(lv_streams.user[LV_STD_OUTPUT], mem);
  EXPECT_EQ(q("'$stderror'(Old, user_input)"), "fail");
  EXPECT_EQ(q("'$stdinput'(Old, " + S(mem) + ")"), "Old=" + S(in));
  EXPECT_EQ(lv_streams.user[LV_STD_INPUT], mem);
  EXPECT_EQ(q("'$stdinput'(Old, " + S(in) + ")"), "Old=" + S(mem));
  EXPECT_EQ(q("'$stdoutput'(_, " + S(out) + ")"), "true");
}

TEST_F(StreamBuiltins, StreamProperties) {
  dir.file("marked", "\xef\xbb\xbfx");
  struct Case {
    const char* file;
    const char* mode;
    int64_t flags;
    const char* encoding;
    const char* outcome;
  } cases[] = {
      {"marked", "read", 0, "encoding('UTF-8', default, default)", "I=UTF-8 O=[] B=22"},
      {"marked", "read", 0, "encoding('ISO-8859-1', false, crlf)", "I=ISO-8859-1 O=[] B=10"},
      {"new", "write", 0, "encoding('UTF-16LE', default, crlf)", "I=[] O=UTF-16LE B=34"},
      {"new2", "write", LINE_FLUSH | INTERACTIVE, "encoding('UTF-8', default, auto)", "I=[] O=UTF-8 B=450"},
      {"marked", "read", BINARY, "[]", "I=[] O=[] B=1"},
  };
  for (const Case& c : cases) {
    lv_stream* s = open(dir.path(c.file), c.mode, c.flags, c.encoding);
    ASSERT_NE(s, nullptr) << last;
    EXPECT_EQ(q("'$stream_properties'(" + S(s) + ", I, O, B)"), c.outcome) << c.encoding;
  }
  EXPECT_EQ(q("'$stream_properties'(foo, I, O, B)"), error(2306, "", "$stream_properties/4", 1, "foo"));
}

int captured_flags = 0;
std::string captured_text;
int capture_errprintf(void*, uint32_t flags, const char* format, va_list args) {
  char text[64];
  std::vsnprintf(text, sizeof text, format, args);
  captured_flags = static_cast<int>(flags);
  captured_text = text;
  return 0;
}

TEST_F(StreamBuiltins, MessagesAndErrorNames) {
  lv_errprintf_hook previous = LV_set_errprintf_hook(capture_errprintf, nullptr);
  EXPECT_EQ(q("'$errprintf'('50% done')"), "true");
  EXPECT_EQ(captured_text, "50% done");
  EXPECT_EQ(captured_flags, 1);
  EXPECT_EQ(q("'$errprintf'(1)"), "fail");
  LV_set_errprintf_hook(previous, nullptr);
  EXPECT_EQ(q("'$lvio_error_name'(-10004, N)"), "N=LVIO_E_PARAMETER_ERROR");
  EXPECT_EQ(q("'$lvio_error_name'(0, N)"), "N=LVIO_S_NOERR");
  EXPECT_EQ(q("'$lvio_error_name'(x, N)"), "fail");
}

TEST_F(StreamBuiltins, CountsAndLineCounts) {
  dir.file("t", "ab\ncd");
  lv_stream* s = open(dir.path("t"), "read", 0);
  ASSERT_NE(s, nullptr);
  for (int i = 0; i < 4; i++) get(s);
  EXPECT_EQ(q("'$stream_count'(" + S(s) + ", I, J, L, P)"), "I=4 J=4 L=1 P=1");
  EXPECT_EQ(q("'$stream_offset'(" + S(s) + ", I)"), "I=4");
  EXPECT_EQ(q("'$stream_set_line_count'(" + S(s) + ", 7)"), "true");
  EXPECT_EQ(q("'$stream_count'(" + S(s) + ", I, J, L, P)"), "I=4 J=4 L=7 P=0");
  std::string name = "$stream_set_line_count/2";
  EXPECT_EQ(q("'$stream_set_line_count'(" + S(s) + ", x)"), error(1025, "integer", name, 2, "x"));
  EXPECT_EQ(q("'$stream_set_line_count'(" + S(s) + ", -1)"), error(1282, "", name, 2, "-1"));
  EXPECT_EQ(q("'$stream_set_line_count'(nonesuch, 1)"), error(2306, "", name, 1, "nonesuch"));
  // Binary streams count items only.
  lv_stream* b = open(dir.path("t"), "read", BINARY);
  ASSERT_NE(b, nullptr);
  for (int i = 0; i < 6; i++) get(b, true);  // the end too
  EXPECT_EQ(q("'$stream_count'(" + S(b) + ", I, J, L, P)"), "I=6 J=6 L=0 P=0");
  EXPECT_EQ(q("'$stream_set_line_count'(" + S(b) + ", 0)"), "true");
  EXPECT_EQ(q("'$stream_set_line_count'(" + S(b) + ", 3)"), error(5, "LVIO_E_PARAMETER_ERROR", name, 1, S(b)));
  EXPECT_EQ(q("'$stream_count'(nonesuch, I, J, L, P)"), error(2306, "", "$stream_count/5", 1, "nonesuch"));
}

TEST_F(StreamBuiltins, PositionRecords) {
  std::string made = q("'$alloc_stream_position'(R, 1, 2, 3, 4)");
  ASSERT_EQ(made.rfind("R=", 0), 0u) << made;
  std::string r = made.substr(2);
  EXPECT_EQ(q("'$load_stream_position'(" + r + ", A, B, C, D)"), "A=1 B=2 C=3 D=4");
  EXPECT_EQ(q("'$load_stream_position'(" + r + ", 1, B, C, D)"), "fail");
  EXPECT_EQ(q("'$store_stream_position'(" + r + ", 5, 6, 7, 8)"), "true");
  EXPECT_EQ(q("'$store_stream_position'(" + r + ", 5, 6, 7, x)"), "fail");
  EXPECT_EQ(q("'$load_stream_position'(" + r + ", A, B, C, D)"), "A=5 B=6 C=7 D=8");
  EXPECT_EQ(q("'$alloc_stream_position'(1, 1, 2, 3, 4)"), "fail");
  EXPECT_EQ(q("'$free_stream_position'(" + r + ")"), "true");
  // A record that was freed, or never made, is not touched.
  for (const std::string& bogus : {r, std::string("4096"), std::string("x")}) {
    EXPECT_EQ(q("'$load_stream_position'(" + bogus + ", A, B, C, D)"), "fail") << bogus;
    EXPECT_EQ(q("'$store_stream_position'(" + bogus + ", 1, 2, 3, 4)"), "fail") << bogus;
    EXPECT_EQ(q("'$free_stream_position'(" + bogus + ")"), "fail") << bogus;
  }
  // Records still held at shutdown are freed with the stream layer.
  EXPECT_EQ(q("'$alloc_stream_position'(R, 1, 2, 3, 4)").rfind("R=", 0), 0u);
}

TEST_F(StreamBuiltins, SetStreamPositionAndSeek) {
  dir.file("b", "abcdef");
  lv_stream* s = open(dir.path("b"), "read", REPOSITION | BINARY);
  ASSERT_NE(s, nullptr) << last;
  get(s, true);
  get(s, true);
  EXPECT_EQ(q("'$stream_count'(" + S(s) + ", I, _, L, P)"), "I=2 L=0 P=0");
  get(s, true);
  std::string name = "$set_stream_position/5";
  EXPECT_EQ(q("'$set_stream_position'(" + S(s) + ", 2, 0, 0, 0)"), "true");
  EXPECT_EQ(get(s, true), "C=99");
  EXPECT_EQ(q("'$set_stream_position'(" + S(s) + ", -1, 0, 0, 0)"),
            error(5, "LVIO_E_PARAMETER_ERROR", name, 2, "-1"));
  EXPECT_EQ(q("'$set_stream_position'(" + S(s) + ", 1, 0, x, 0)"), error(5, "LVIO_E_PARAMETER_ERROR", name, 4, "x"));
  EXPECT_EQ(q("'$set_stream_position'(" + S(s) + ", 1, 0, 0, 4294967296)"),
            error(5, "LVIO_E_PARAMETER_ERROR", name, 5, "4294967296"));
  EXPECT_EQ(q("'$set_stream_position'(user_input, 0, 0, 0, 0)"), "fail");  // cannot be repositioned
  // Seeking.
  EXPECT_EQ(q("'$seek'(" + S(s) + ", 4, bof, N)"), "N=4");
  EXPECT_EQ(get(s, true), "C=101");
  EXPECT_EQ(q("'$seek'(" + S(s) + ", -2, current, N)"), "N=3");
  EXPECT_EQ(get(s, true), "C=100");
  EXPECT_EQ(q("'$seek'(" + S(s) + ", -1, eof, N)"), "N=5");
  EXPECT_EQ(get(s, true), "C=102");
  EXPECT_EQ(q("'$seek'(" + S(s) + ", 1, middle, N)"), "fail");
  EXPECT_EQ(q("'$seek'(" + S(s) + ", x, bof, N)"), "fail");
  EXPECT_EQ(q("'$seek'(" + S(s) + ", -1, bof, N)"), "fail");
  EXPECT_EQ(q("'$seek'(user_input, 0, bof, N)"), "fail");
  EXPECT_EQ(q("'$seek'(nonesuch, 0, bof, N)"), error(2306, "", "$seek/4", 1, "nonesuch"));
}

TEST_F(StreamBuiltins, CheckedReadsPeekAndPushBack) {
  lv_stream* in = lv_streams.user[LV_STD_INPUT];  // "typed\n"
  EXPECT_EQ(get(in, false, 256), "C=116");
  EXPECT_EQ(get(in, false, 256), "C=116");  // a peek leaves it
  EXPECT_EQ(get(in), "C=116");
  EXPECT_EQ(get(in), "C=121");
  EXPECT_EQ(q("'$unget_code'(user_input, 121, _)"), "true");
  EXPECT_EQ(q("'$unget_code'(user_input, 121, _)"),
            error(5, "LVIO_E_PARAMETER_ERROR", "$unget_code/3", 1, "user_input"));  // only one
  EXPECT_EQ(q("'$unget_code'(user_input, -2, _)"), error(5, "LVIO_E_PARAMETER_ERROR", "$unget_code/3", 2, "-2"));
  EXPECT_EQ(get(in), "C=121");
  std::string name = "$get_code_fail_on_interrupt/3";
  EXPECT_EQ(q("'$get_code_fail_on_interrupt'(user_input, C, x)"), error(1025, "integer", name, 3, "x"));
  EXPECT_EQ(q("'$get_code_fail_on_interrupt'(user_output, C, 0)"), error(262, "", name, 1, "user_output"));
  EXPECT_EQ(q("'$get_byte_fail_on_interrupt'(user_input, C, 0)"),
            error(262, "", "$get_byte_fail_on_interrupt/3", 1, "user_input"));
  EXPECT_EQ(q("'$get_code_fail_on_interrupt'(user_input, 113, 0)"), "fail");  // 'p' is next
  // A peek at the end, then the end, then past it.
  lv_stream* empty = nullptr;
  ASSERT_EQ(lv_stream_from_string("", &empty), 1);
  EXPECT_EQ(get(empty, false, 256), "C=-1");
  EXPECT_EQ(get(empty), "C=-1");
  EXPECT_EQ(get(empty), error(1798, "", name, 1, S(empty)));
  // Bytes.
  dir.file("b", "\x01\xff");
  lv_stream* b = open(dir.path("b"), "read", BINARY);
  EXPECT_EQ(get(b, true, 256), "C=1");
  EXPECT_EQ(get(b, true), "C=1");
  EXPECT_EQ(get(b, true), "C=255");
  EXPECT_EQ(q("'$unget_byte'(" + S(b) + ", 255, _)"), "true");
  EXPECT_EQ(q("'$unget_byte'(" + S(b) + ", 256, _)"), error(5, "LVIO_E_PARAMETER_ERROR", "$unget_byte/3", 2, "256"));
  EXPECT_EQ(get(b, true), "C=255");
}

TEST_F(StreamBuiltins, CheckedWritesAndFlushes) {
  std::string f = dir.path("w");
  lv_stream* s = open(f, "write", 0);
  ASSERT_NE(s, nullptr);
  std::string name = "$put_code_fail_on_interrupt/3";
  EXPECT_EQ(q("'$put_code_fail_on_interrupt'(" + S(s) + ", -1, 0)"), error(514, "", name, 2, "-1"));
  EXPECT_EQ(q("'$put_code_fail_on_interrupt'(" + S(s) + ", 2147483648, 0)"), error(514, "", name, 2, "2147483648"));
  EXPECT_EQ(q("'$put_code_fail_on_interrupt'(" + S(s) + ", a, 0)"), error(514, "", name, 2, "a"));
  EXPECT_EQ(q("'$put_code_fail_on_interrupt'(user_input, 97, 0)"), error(518, "", name, 1, "user_input"));
  EXPECT_EQ(q("'$put_byte_fail_on_interrupt'(" + S(s) + ", 1, 0)"),
            error(518, "", "$put_byte_fail_on_interrupt/3", 1, S(s)));
  EXPECT_EQ(put_codes(s, U"ab"), "true");
  EXPECT_EQ(file_bytes(f), "");  // buffered
  EXPECT_EQ(q("'$flush_output_fail_on_interrupt'(" + S(s) + ", 256)"), "true");  // no line-end flushing here
  EXPECT_EQ(file_bytes(f), "");
  EXPECT_EQ(q("'$flush_output_fail_on_interrupt'(" + S(s) + ", 0)"), "true");
  EXPECT_EQ(file_bytes(f), "ab");
  std::string flush = "$flush_output_fail_on_interrupt/2";
  EXPECT_EQ(q("'$flush_output_fail_on_interrupt'(" + S(s) + ", x)"), error(1025, "integer", flush, 2, "x"));
  EXPECT_EQ(q("'$flush_output_fail_on_interrupt'(user_input, 0)"), error(518, "", flush, 1, "user_input"));
  // user_error flushes at line ends: a line-end write goes out at once.
  EXPECT_EQ(q("'$put_code_fail_on_interrupt'(user_error, 120, 0)"), "true");
  EXPECT_EQ(err_sink.text, "");
  EXPECT_EQ(q("'$put_code_fail_on_interrupt'(user_error, 10, 256)"), "true");
  EXPECT_EQ(err_sink.text, "x\n");
  EXPECT_EQ(q("'$put_code_fail_on_interrupt'(user_error, 121, 0)"), "true");
  EXPECT_EQ(q("'$flush_output_fail_on_interrupt'(user_error, 256)"), "true");
  EXPECT_EQ(err_sink.text, "x\ny");
  // A failing device is an error on the stream.
  out_sink.fail = true;
  EXPECT_EQ(put_codes(lv_streams.user[LV_STD_OUTPUT], U"z"), "true");
  EXPECT_EQ(q("'$flush_output_fail_on_interrupt'(user_output, 0)"),
            error(5, "LVIO_E_WRITE_ERROR", flush, 1, "user_output"));
  out_sink.fail = false;
  // Bytes.
  lv_stream* b = open(dir.path("bytes"), "write", BINARY);
  std::string put_byte = "$put_byte_fail_on_interrupt/3";
  EXPECT_EQ(q("'$put_byte_fail_on_interrupt'(" + S(b) + ", 256, 0)"), error(2, "byte", put_byte, 2, "256"));
  EXPECT_EQ(q("'$put_byte_fail_on_interrupt'(" + S(b) + ", -1, 0)"), error(2, "byte", put_byte, 2, "-1"));
  EXPECT_EQ(q("'$put_byte_fail_on_interrupt'(" + S(b) + ", x, 0)"), error(1025, "integer", put_byte, 2, "x"));
  EXPECT_EQ(q("'$put_byte_fail_on_interrupt'(" + S(b) + ", 255, 0)"), "true");
  EXPECT_EQ(close(b), "true");
  EXPECT_EQ(file_bytes(dir.path("bytes")), "\xff");
}

TEST_F(StreamBuiltins, FastReadsTakeOnlyWhatIsBuffered) {
  typed = "pq\u00e9\u20ac";
  ASSERT_EQ(lv_install_user_streams(
                [](void* data, int kind) -> lv_stream* {
                  lv_stream* s = nullptr;
                  if (kind != LV_STD_INPUT) return kind == LV_STD_OUTPUT ? LV_get_stdout() : LV_get_stderr();
                  return lv_stream_from_string(static_cast<std::string*>(data)->c_str(), &s) != 0 ? s : nullptr;
                },
                &typed, nullptr, nullptr),
            0);
  lv_reset_current_streams();
  lv_stream* in = lv_streams.user[LV_STD_INPUT];
  // Nothing is buffered yet: the fast read fails rather than wait.
  EXPECT_EQ(q("'$get_code_fast'(user_input, _, C)"), "fail");
  EXPECT_EQ(get(in, false, 256), "C=112");  // fills the buffer
  EXPECT_EQ(q("'$peek_code_fast'(user_input, _, C)"), "C=112");
  EXPECT_EQ(q("'$get_code_fast'(_, _, C)"), "C=112");  // the current input
  EXPECT_EQ(q("'$get_char_fast'('$stream'(" + S(in) + "), _, C)"), "C=q");
  EXPECT_EQ(q("'$get_code_fast'(user_input, x, C)"), "fail");  // the second argument must be unbound
  EXPECT_EQ(q("'$get_code_fast'(user_input, _, 1)"), "fail");  // and nothing is taken
  EXPECT_EQ(q("'$get_char_fast'(user_input, _, C)"), "C=\u00e9");
  EXPECT_EQ(q("'$get_char_fast'(user_input, _, C)"), "C=\u20ac");
  EXPECT_EQ(q("'$get_code_fast'(user_input, _, C)"), "fail");
  EXPECT_EQ(q("'$get_byte_fast'(user_input, _, C)"), "fail");  // not a binary stream
  EXPECT_EQ(q("'$get_code_fast'(nonesuch, _, C)"), "fail");
  dir.file("b", "\x07\x08");
  lv_stream* b = open(dir.path("b"), "read", BINARY);
  EXPECT_EQ(get(b, true, 256), "C=7");
  EXPECT_EQ(q("'$peek_byte_fast'(" + S(b) + ", _, C)"), "C=7");
  EXPECT_EQ(q("'$get_byte_fast'(" + S(b) + ", _, C)"), "C=7");
  EXPECT_EQ(q("'$get_byte_fast'(" + S(b) + ", _, C)"), "C=8");
  EXPECT_EQ(q("'$get_byte_fast'(" + S(b) + ", _, C)"), "fail");
}

TEST_F(StreamBuiltins, FastWritesNeedRoomAndNoLineFlushing) {
  EXPECT_EQ(q("'$put_code_fast'(user_output, 97)"), "fail");  // no buffer yet
  EXPECT_EQ(q("'$put_code_fail_on_interrupt'(user_output, 97, 0)"), "true");
  EXPECT_EQ(q("'$put_code_fast'(user_output, 98)"), "true");
  EXPECT_EQ(q("'$put_code_fast'(_, 99)"), "true");  // the current output
  EXPECT_EQ(q("'$put_code_fast'(user_output, -1)"), "fail");
  EXPECT_EQ(q("'$put_code_fast'(user_output, 2147483648)"), "fail");
  EXPECT_EQ(q("'$put_code_fast'(user_output, x)"), "fail");
  EXPECT_EQ(q("'$put_code_fail_on_interrupt'(user_error, 97, 0)"), "true");
  EXPECT_EQ(q("'$put_code_fast'(user_error, 98)"), "fail");  // user_error flushes at line ends
  EXPECT_EQ(q("'$put_byte_fast'(user_output, 1)"), "fail");  // not binary
  lv_stream* b = open(dir.path("b"), "write", BINARY);
  EXPECT_EQ(q("'$put_byte_fail_on_interrupt'(" + S(b) + ", 1, 0)"), "true");
  EXPECT_EQ(q("'$put_byte_fast'(" + S(b) + ", 2)"), "true");
  EXPECT_EQ(q("'$put_byte_fast'('$stream'(" + S(b) + "), 3)"), "true");
  EXPECT_EQ(q("'$put_byte_fast'(" + S(b) + ", 256)"), "fail");
  EXPECT_EQ(close(b), "true");
  EXPECT_EQ(file_bytes(dir.path("b")), "\x01\x02\x03");
  EXPECT_EQ(q("'$flush_output_fail_on_interrupt'(user_output, 0)"), "true");
  EXPECT_EQ(out_sink.text, "abc");
}

TEST_F(StreamBuiltins, BufferedRunsStopBeforeTheStopItem) {
  typed = "ab\ncd";
  lv_stream* in = nullptr;
  ASSERT_EQ(lv_stream_from_string(typed.c_str(), &in), 1);
  EXPECT_EQ(q("'$get_buffered_codes'(" + S(in) + ", 10, L, T)"), "fail");  // nothing buffered
  EXPECT_EQ(get(in, false, 256), "C=97");
  EXPECT_EQ(q("'$get_buffered_codes'(" + S(in) + ", 10, L, T)"), "L=[97,98|T] T=T");
  EXPECT_EQ(get(in), "C=10");
  EXPECT_EQ(q("'$get_buffered_chars'(" + S(in) + ", -1, L, [])"), "L=[c,d]");
  EXPECT_EQ(q("'$get_buffered_chars'(" + S(in) + ", -1, L, [])"), "fail");
  lv_stream* again = nullptr;
  ASSERT_EQ(lv_stream_from_string("xy", &again), 1);
  get(again, false, 256);
  EXPECT_EQ(q("'$get_buffered_codes'(" + S(again) + ", 120, L, T)"), "L=L T=L");  // the stop item is first
  for (const char* stop : {"-2", "2147483648", "x"})
    EXPECT_EQ(q("'$get_buffered_codes'(" + S(again) + ", " + stop + ", L, T)"), "fail") << stop;
  EXPECT_EQ(q("'$get_buffered_codes'(" + S(again) + ", -1, [y], T)"), "fail");  // nothing taken
  EXPECT_EQ(q("'$get_buffered_codes'(" + S(again) + ", -1, L, [])"), "L=[120,121]");
  dir.file("b", std::string("\x01\x02\x00\x03", 4));
  lv_stream* b = open(dir.path("b"), "read", BINARY);
  get(b, true, 256);
  EXPECT_EQ(q("'$get_buffered_bytes'(" + S(b) + ", 256, L, T)"), "fail");
  EXPECT_EQ(q("'$get_buffered_bytes'(" + S(b) + ", 0, L, [])"), "L=[1,2]");
  EXPECT_EQ(q("'$get_buffered_codes'(" + S(b) + ", 0, L, [])"), "fail");  // not a text stream
}

TEST_F(StreamBuiltins, EndOfStreamStates) {
  lv_stream* s = nullptr;
  ASSERT_EQ(lv_stream_from_string("x", &s), 1);
  EXPECT_EQ(q("'$end_of_stream'(" + S(s) + ", E)"), "E=not");
  get(s);
  EXPECT_EQ(q("'$end_of_stream'(" + S(s) + ", E)"), "E=at");
  get(s);
  EXPECT_EQ(q("'$end_of_stream'(" + S(s) + ", E)"), "E=past");
  // A terminal and a pipe with nothing in them: no waiting.
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  lv_stream* tty = nullptr;
  ASSERT_EQ(LV_create_os_stream(slave, &tty, 0, LV_OS_READ | LV_OS_BINARY), 0);
  EXPECT_EQ(q("'$end_of_stream'(" + S(tty) + ", E)"), "E=not");
  close(tty, 1);
  ::close(master);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  lv_stream* p = nullptr;
  ASSERT_EQ(LV_create_os_stream(fds[0], &p, 0, LV_OS_READ | LV_OS_BINARY), 0);
  EXPECT_EQ(q("'$end_of_stream'(" + S(p) + ", E)"), "E=not");
  close(p, 1);
  ::close(fds[1]);
  EXPECT_EQ(q("'$end_of_stream'(user_output, E)"), error(262, "", "$eof/2", 1, "user_output"));
}

TEST_F(StreamBuiltins, DumpOfEmbeddedResources) {
  dir.file("app", "bytes\n# META_INFO_SUFFIX 1\n# size=\"0x5\"\n# name=\"/x\"\n# META_INFO_SUFFIX END\n");
  ASSERT_EQ(lvio_setting_set("LV_APP_PATH", dir.path("app").c_str()), 0);
  EXPECT_EQ(q("'$dump_embedded_resources'"), "true");
  EXPECT_EQ(out_sink.text, "Embedded resource @0, length 5\n  name=/x\n");
}

TEST_F(StreamBuiltins, SelectWithoutWaiting) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  lv_stream* p = nullptr;
  ASSERT_EQ(LV_create_os_stream(fds[0], &p, 0, LV_OS_READ | LV_OS_BINARY), 0);
  std::string ps = S(p);
  // Nothing ready with a zero time-out.
  EXPECT_EQ(q("'$select'([], R, [], _, [" + ps + "], RR, [], W, 0.0, Res)"), "R=R RR=RR W=W Res=-10018");
  // user_input holds a text; user_output has room.
  EXPECT_EQ(q("'$select'([], R, [1, 2], _, [" + ps + ", user_input], RR, [user_output], W, 0.0, Res)"),
            "R=[] RR=[user_input] W=[user_output] Res=0");
  EXPECT_EQ(q("'$select'([], R, [], _, ['$stream'(" + ps + "), user_input], RR, [], W, -1.0, Res)"),
            "R=[] RR=[user_input] W=[] Res=0");
  // A socket with data waiting.
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  ASSERT_EQ(write(pair[1], "s", 1), 1);
  std::string sockets = "[" + std::to_string(pair[1]) + ", " + std::to_string(pair[0]) + "]";
  EXPECT_EQ(q("'$select'(" + sockets + ", R, [], _, [], RR, [], W, 0.0, Res)"),
            "R=[" + std::to_string(pair[0]) + "] RR=[] W=[] Res=0");
  ::close(pair[0]);
  ::close(pair[1]);
  // Arguments that are wrong give a code; a stream that is not one raises.
  for (const char* bad : {"'$select'([], R, [], _, [], RR, [], W, 1, Res)",
                          "'$select'([], R, [x], _, [], RR, [], W, 0.0, Res)",
                          "'$select'([x], R, [], _, [], RR, [], W, 0.0, Res)",
                          "'$select'([], R, [], _, [f(x)], RR, [], W, 0.0, Res)",
                          "'$select'([], R, [], _, [a|T], RR, [], W, 0.0, Res)"})
  {
    std::string answer = q(bad);
    if (size_t at = answer.find(" T=T"); at != std::string::npos) answer.erase(at, 4);
    EXPECT_EQ(answer, "R=R RR=RR W=W Res=-10004") << bad;
  }
  EXPECT_EQ(q("'$select'([], R, [], _, [nonesuch], RR, [], W, 0.0, Res)"),
            error(2306, "", "$select/10", 5, "nonesuch"));
  EXPECT_EQ(q("'$select'([], R, [], _, [], RR, [user_input], W, 0.0, Res)"),
            error(518, "", "$select/10", 7, "user_input"));
  close(p, 1);
  ::close(fds[1]);
}

TEST_F(StreamBuiltins, StreamTimeOuts) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  lv_stream* p = nullptr;
  ASSERT_EQ(LV_create_os_stream(fds[0], &p, 0, LV_OS_READ | LV_OS_BINARY), 0);
  std::string ps = S(p);
  struct Case {
    const char* timeout;
    const char* sides;
    const char* result;
  } cases[] = {
      {"infinite", "1", "0"}, {"2.5", "3", "0"},        {"3", "2", "0"},         {"0.0", "1", "0"},
      {"-1.0", "1", "-10004"}, {"-1", "1", "-10004"},   {"x", "1", "-10004"},    {"1", "0", "-10004"},
      {"1", "4", "-10004"},    {"1", "-1", "-10004"},   {"1", "x", "-10004"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(q("'$set_stream_timeout'(" + ps + ", " + c.timeout + ", " + c.sides + ", R)"),
              std::string("R=") + c.result)
        << c.timeout << " " << c.sides;
  // With a zero read time-out, a read that would wait ends at once.
  EXPECT_EQ(q("'$set_stream_timeout'(" + ps + ", 0.0, 1, R)"), "R=0");
  EXPECT_EQ(get(p, true), error(5, "LVIO_E_TIMEOUT", "$get_byte_fail_on_interrupt/3", 1, ps));
  // A stream without a device has nothing to set.
  std::string null_stream = q("'$open_null'(S)").substr(2);
  EXPECT_EQ(q("'$set_stream_timeout'(" + null_stream + ", 1, 1, R)"), "R=0");
  EXPECT_EQ(q("'$set_stream_timeout'(nonesuch, 1, 1, R)"), error(2306, "", "$set_stream_timeout/4", 1, "nonesuch"));
  close(p, 1);
  ::close(fds[1]);
}

TEST_F(StreamBuiltins, CompressionOnBinaryStreams) {
  std::string f = dir.path("z");
  lv_stream* out = open(f, "write", BINARY);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(q("'$set_stream_zlib'(" + S(out) + ", 0)"), "true");
  std::string text = "squeeze squeeze squeeze squeeze";
  for (char c : text) q("'$put_byte_fail_on_interrupt'(" + S(out) + ", " + std::to_string(c) + ", 0)");
  EXPECT_EQ(close(out), "true");
  std::string stored = file_bytes(f);
  EXPECT_LT(stored.size(), text.size());
  EXPECT_EQ(static_cast<uint8_t>(stored[0]), 0x78);  // a zlib header
  lv_stream* in = open(f, "read", BINARY);
  EXPECT_EQ(q("'$set_stream_zlib'(" + S(in) + ", 0)"), "true");
  std::string back;
  for (std::string c; (c = get(in, true)) != "C=-1";) back += static_cast<char>(std::stoi(c.substr(2)));
  EXPECT_EQ(back, text);
  EXPECT_EQ(q("'$set_stream_zlib'(" + S(in) + ", 1)"), "true");
  std::string name = "$set_stream_zlib/2";
  EXPECT_EQ(q("'$set_stream_zlib'(user_output, 0)"), error(5, "LVIO_E_INVALID_STATE", name, 1, "user_output"));
  EXPECT_EQ(q("'$set_stream_zlib'(" + S(in) + ", x)"), error(5, "LVIO_E_PARAMETER_ERROR", name, 2, "x"));
  EXPECT_EQ(q("'$set_stream_zlib'(nonesuch, 0)"), error(2306, "", name, 1, "nonesuch"));
}

}  // namespace
