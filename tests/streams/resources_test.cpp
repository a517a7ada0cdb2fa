// Embedded resources: the table linked into this test program, prelinked
// containers, resources appended to files with their trailers (damaged
// ones refused, and a randomised corruption run), and the URL layer over
// them: "URL:" objects and "url:" stream names.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/memory.h"
#include "lvio/environment.h"
#include "lvio/options.h"
#include "lvio/result_codes.h"
#include "streams/linked_resources.h"
#include "streams/resource_directory.h"
#include "streams/stream_internal.h"
#include "streams/stream_open.h"
#include "streams/url_layer.h"
#include "support/stream_fixture.h"
#include "support/terms.h"

namespace {

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

const std::string GREETING = file_bytes(LV_TEST_RESOURCE_DIR "/greeting.txt");
const std::string BLOCK = file_bytes(LV_TEST_RESOURCE_DIR "/block.bin");

// One appended resource: its bytes and its trailer.
std::string appended(const std::string& bytes, const std::vector<std::string>& properties) {
  std::string t = bytes + "\n# META_INFO_SUFFIX 1";
  for (const std::string& p : properties) t += "\n# " + p;
  return t + "\n# META_INFO_SUFFIX END\n";
}

std::string without_last(const std::string& s) { return s.substr(0, s.size() - 1); }

std::string hex_size(size_t n) {
  char text[32];
  std::snprintf(text, sizeof text, "size=\"0x%zx\"", n);
  return text;
}

// Output of the test: the characters written to a text stream.
struct Sink {
  std::string text;
};
const char sink_tag = 0;

int64_t sink_write(void* user, const void* source, uint64_t* size, uint32_t) {
  const auto* codes = static_cast<const uint32_t*>(source);
  for (uint64_t i = 0; i < *size / 4; i++) static_cast<Sink*>(user)->text += static_cast<char>(codes[i]);
  return 0;
}

int64_t sink_close(void** user, uint32_t, int) {
  *user = nullptr;
  return 0;
}

class ResourceTest : public StreamTest {
 protected:
  void TearDown() override {
    lv_set_prelinked_tables(nullptr, nullptr);
    StreamTest::TearDown();
  }

  // The resources of a file scanned from its end: the code that ended the
  // scan, and each resource as "start+size name=value ...".
  int64_t scan(const std::string& contents, std::vector<std::string>* found) {
    dir.file("scanned", contents);
    lv_stream* s = nullptr;
    EXPECT_EQ(LV_fopen(dir.path("scanned").c_str(), 0, LV_FOPEN_READ | LV_FOPEN_BINARY, &s), 0);
    if (s == nullptr) return 1;
    lv_resource_entry* list = nullptr;
    int64_t rc = lv_resource_file_scan(s, &list);
    for (lv_resource_entry* e = list; e != nullptr; e = e->next) {
      std::string text = std::to_string(e->start) + "+" + std::to_string(e->size);
      for (lv_resource_prop* p = e->properties; p != nullptr; p = p->next)
        text += std::string(" ") + p->key + "=" + p->value;
      found->push_back(text);
    }
    while (list != nullptr) {
      lv_resource_entry* next = list->next;
      for (lv_resource_prop* p = list->properties; p != nullptr;) {
        lv_resource_prop* q = p->next;
        LV_free(p->key);
        LV_free(p->value);
        LV_free(p);
        p = q;
      }
      LV_free(list);
      list = next;
    }
    LV_fclose(s, 0);
    return rc;
  }

  // Reads a stream opened with the file-name layer to its end.
  std::string read_url_stream(const char* name, uint32_t options, int64_t* rc) {
    lv_stream* s = nullptr;
    *rc = LV_fopen(name, 0, LV_FOPEN_READ | LV_FOPEN_NAME_LAYER | options, &s);
    if (*rc < 0) return "";
    std::string bytes = drain_bytes(s);
    LV_fclose(s, 0);
    return bytes;
  }

  static lv_term atom(const char* text) { return lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE); }

  static std::string object_bytes(lv_url_object* o) {
    std::string bytes;
    for (int c; (c = lv_url_getc(o)) >= 0;) bytes += static_cast<char>(c);
    return bytes;
  }
};

TEST_F(ResourceTest, TheTableLinkedIntoTheProgramIsFoundInItAndExported) {
  ASSERT_NE(lv_own_resource_table(), nullptr);
  // The program exports its table, and the search through the program's
  // symbols finds the same one.
  EXPECT_EQ(lv_program_resource_table(), lv_own_resource_table());
  uint64_t size = 0;
  const uint8_t* data = lv_find_module_resource("/test/greeting.txt", &size);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(size, GREETING.size() + 32);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), 16), "Lorvika Resource");
  EXPECT_EQ(lv_find_module_resource("/TEST/Greeting.TXT", &size), data);  // names in any case
  EXPECT_EQ(lv_find_module_resource("/test/absent", &size), nullptr);
  const uint8_t* bytes = nullptr;
  int64_t length = 0, stamp = 0;
  ASSERT_EQ(lv_find_named_resource("/test/block.bin", &bytes, &length, &stamp), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), length), BLOCK);
  EXPECT_GT(stamp, 0);  // the file's modification time
}

TEST_F(ResourceTest, ALinkedResourceIsReadThroughAResourceUrl) {
  lv_url_object* o = lv_url_open("URL:x-lorvika-resource:/test/greeting.txt");
  ASSERT_NE(o, nullptr);
  EXPECT_STREQ(o->methods->type_name, "Lorvika Resource URL Object");
  EXPECT_STREQ(o->methods->extension(o), ".txt");
  EXPECT_EQ(o->methods->self(o), o);
  EXPECT_EQ(lv_url_getc(o), -1);  // not open yet
  ASSERT_EQ(o->methods->open(o, "rb"), o);
  EXPECT_EQ(object_bytes(o), GREETING);
  EXPECT_EQ(o->methods->close(o), 0);
  EXPECT_EQ(lv_url_getc(o), -1);  // closed
  ASSERT_EQ(o->methods->open(o, "r"), o);
  char part[8];
  EXPECT_EQ(o->methods->read(o, part, 2, 3), 6u);  // bytes, not items
  EXPECT_EQ(std::string(part, 6), GREETING.substr(0, 6));
  lv_url_close(o);

  // Open modes: reading only.
  for (const char* mode : {"", "r", "rb", "br"}) {
    lv_url_object* m = lv_url_open("URL:x-lorvika-resource:/test/greeting.txt");
    EXPECT_EQ(m->methods->open(m, mode), m) << mode;
    lv_url_close(m);
  }
  for (const char* mode : {"w", "ra", "r+"}) {
    lv_url_object* m = lv_url_open("URL:x-lorvika-resource:/test/greeting.txt");
    EXPECT_EQ(m->methods->open(m, mode), nullptr) << mode;
    lv_url_close(m);
  }
}

TEST_F(ResourceTest, UrlPrefixesAndSchemes) {
  struct Case {
    const char* path;
    bool opens;
  } cases[] = {
      {"URL:x-lorvika-resource:/test/greeting.txt", true},
      {"URL:X-LORVIKA-RESOURCE:/test/greeting.txt", true},  // the scheme in any case
      {"url:x-lorvika-resource:/test/greeting.txt", false},  // "URL:" exactly
      {"URL:x-lorvika-resource:/test/absent", false},
      {"URL:x-lorvika-resource", false},  // no second ':'
      {"URL:http://example.org/x", false},
      {"URL:x-lorvika-resourcex:/test/greeting.txt", false},
      {"/test/greeting.txt", false},
  };
  for (const Case& c : cases) {
    lv_url_object* o = lv_url_open(c.path);
    EXPECT_EQ(o != nullptr, c.opens) << c.path;
    EXPECT_EQ(lv_url_path_opens(c.path), c.opens ? 1 : 0) << c.path;
    lv_url_close(o);
  }
}

TEST_F(ResourceTest, FileUrls) {
  dir.file("f.txt", "ab\r\ncd");
  std::string url = "URL:file:" + dir.path("f.txt");
  lv_url_object* o = lv_url_open(url.c_str());
  ASSERT_NE(o, nullptr);
  EXPECT_STREQ(o->methods->type_name, "Local file URL Object");
  EXPECT_EQ(std::string(o->path), dir.path("f.txt"));  // "file:" dropped
  EXPECT_EQ(o->methods->check(o), o);
  ASSERT_EQ(o->methods->open(o, "rb"), o);
  EXPECT_EQ(object_bytes(o), "ab\r\ncd");
  EXPECT_EQ(o->status, EIO);  // the last read came up short
  EXPECT_EQ(o->methods->close(o), 0);
  // Text mode gives a character per byte, line ends as newlines.
  ASSERT_EQ(o->methods->open(o, "r"), o);
  char items[6];
  EXPECT_EQ(o->methods->read(o, items, 2, 3), 2u);  // whole items of two bytes
  EXPECT_EQ(std::string(items, 5), "ab\ncd");
  lv_url_close(o);
  // Opening checks the file; making the object only the name.
  std::string missing = "URL:FILE:" + dir.path("missing");
  lv_url_object* m = lv_url_open(missing.c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->methods->check(m), nullptr);
  EXPECT_EQ(m->status, LVIO_E_FILE_NOT_FOUND);
  EXPECT_EQ(m->methods->open(m, "rb"), nullptr);
  EXPECT_EQ(m->methods->open(m, "rx"), nullptr);
  lv_url_close(m);
  EXPECT_EQ(lv_url_open("URL:file:/a/../.."), nullptr);  // a name the normaliser refuses
}

TEST_F(ResourceTest, UrlStreamNamesOpenReadOnlyMemoryStreams) {
  int64_t rc = 0;
  EXPECT_EQ(read_url_stream("url:x-lorvika-resource:/test/block.bin", LV_FOPEN_BINARY, &rc), BLOCK);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(read_url_stream("URL:X-Lorvika-Resource:/test/greeting.txt", LV_FOPEN_BINARY, &rc), GREETING);
  // As text, in an encoding.
  lv_stream* s = nullptr;
  lv_term encoding = terms::fn(w, LV_ATOM_ENCODING_,
                               {atom("UTF-8"), atom("default"), atom("default")});
  ASSERT_EQ(LV_fopen("url:x-lorvika-resource:/test/greeting.txt", encoding,
                     LV_FOPEN_READ | LV_FOPEN_TEXT | LV_FOPEN_NAME_LAYER | LV_FOPEN_ENCODING_TERM, &s),
            0);
  EXPECT_EQ(drain_codes(s), U"Hello from a linked resource.\nSecond line: caf\u00e9.\n");
  EXPECT_STREQ(lv_stream_name(s), "url:x-lorvika-resource:/test/greeting.txt");
  LV_fclose(s, 0);

  struct Case {
    const char* name;
    uint32_t options;
    int64_t rc;
  } cases[] = {
      {"url:x-lorvika-resource:/test/greeting.txt", LV_FOPEN_WRITE, LVIO_E_PERMISSION_ERROR},
      {"url:x-lorvika-resource:/test/greeting.txt", LV_FOPEN_APPEND, LVIO_E_PERMISSION_ERROR},
      {"url:x-lorvika-resource:/test/absent", 0, LVIO_E_FILE_NOT_FOUND},
      {"url:x-lorvika-resource:", 0, LVIO_E_PARAMETER_ERROR},
      {"url:file:/x", 0, LVIO_E_NOT_SUPPORTED},
      {"url:", 0, LVIO_E_INVALID_NAME},
      {"ur:x-lorvika-resource:/test/greeting.txt", 0, LVIO_E_INVALID_NAME},
      {"/test/greeting.txt", 0, LVIO_E_INVALID_NAME},
  };
  for (const Case& c : cases) {
    lv_stream* t = nullptr;
    EXPECT_EQ(LV_fopen(c.name, 0, LV_FOPEN_READ | LV_FOPEN_BINARY | LV_FOPEN_NAME_LAYER | c.options, &t), c.rc)
        << c.name;
  }
  // Without the file-name layer a "url:" name is a file name like any other.
  EXPECT_EQ(LV_fopen("url:x-lorvika-resource:/test/greeting.txt", 0, LV_FOPEN_READ | LV_FOPEN_BINARY, &s),
            LVIO_E_FILE_NOT_FOUND);
  // Neither direction.
  lvio_option options[2] = {};
  options[0].name = "pathname";
  options[0].value.kind = LVIO_VALUE_STRING | LVIO_VALUE_BORROWED;
  options[0].value.string = "url:x-lorvika-resource:/test/greeting.txt";
  options[1].value.kind = LVIO_VALUE_END;
  lvio_layer* chain = nullptr;
  EXPECT_EQ(lv_classify_path(&chain, options, 0), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(chain, nullptr);
}

// Prelinked data resources: containers laid out by the program, searched
// before the linked-in tables; a container is used only when its header
// is whole and its payload fits in it.
TEST_F(ResourceTest, PrelinkedContainersAndDamagedHeaders) {
  struct Record {
    uint64_t size;
    const void* data;
    char name[64];
  };
  // A container of the given size whose header claims length bytes.
  auto container = [](const std::string& payload, uint64_t length, const char* magic) {
    std::string c(magic, 16);
    for (int shift = 56; shift >= 0; shift -= 8) c += static_cast<char>((length >> shift) & 255);
    for (int shift = 56; shift >= 0; shift -= 8) c += static_cast<char>((uint64_t{1234} >> shift) & 255);
    return c + payload;
  };
  std::string good = container("payload", 7, "Lorvika Resource");
  std::string spare = container("payload-and-more", 7, "Lorvika Resource");
  std::string too_long = container("payload", 8, "Lorvika Resource");
  std::string huge = container("payload", ~uint64_t{0}, "Lorvika Resource");
  std::string magic = container("payload", 7, "Lorvika Resourcf");
  std::string shadow = container("prelinked greeting", 18, "Lorvika Resource");
  struct Case {
    const char* name;
    const std::string* bytes;
    uint64_t size;  // of the container as the record gives it
    const char* payload;  // null: refused
  } cases[] = {
      {"/good", &good, good.size(), "payload"},
      {"/spare", &spare, spare.size(), "payload"},  // room to spare is fine
      {"/too-long", &too_long, too_long.size(), nullptr},
      {"/huge", &huge, huge.size(), nullptr},
      {"/magic", &magic, magic.size(), nullptr},
      {"/short", &good, 31, nullptr},  // not even a whole header
      {"/cut", &good, good.size() - 1, nullptr},  // the record's size cuts the payload
      {"/unlinked", nullptr, 0, nullptr},
      {"/test/greeting.txt", &shadow, shadow.size(), "prelinked greeting"},  // before the linked-in table
  };
  std::vector<Record> records(std::size(cases));
  std::vector<const char*> names;
  std::vector<void*> values;
  int foreign = 0;
  for (size_t i = 0; i < std::size(cases); i++) {
    records[i].size = cases[i].size;
    records[i].data = cases[i].bytes != nullptr ? cases[i].bytes->data() : nullptr;
    char* escaped = escape_resource_name(cases[i].name);
    std::snprintf(records[i].name, sizeof records[i].name, "%s", escaped);
    LV_free(escaped);
    names.push_back(records[i].name);
    values.push_back(nullptr);
  }
  // A prelinked foreign resource under the same name as a data resource is
  // not one.
  names.insert(names.begin(), records[0].name);
  values.insert(values.begin(), &foreign);
  names.push_back(nullptr);
  values.push_back(nullptr);
  static_assert(offsetof(Record, name) == offsetof(lv_prelinked_data, name));
  lv_set_prelinked_tables(names.data(), values.data());
  for (const Case& c : cases) {
    const uint8_t* bytes = nullptr;
    int64_t length = 0, stamp = 0;
    int found = lv_find_named_resource(c.name, &bytes, &length, &stamp);
    if (c.payload == nullptr) {
      EXPECT_EQ(found, 0) << c.name;
      continue;
    }
    ASSERT_EQ(found, 1) << c.name;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), length), c.payload) << c.name;
    EXPECT_EQ(stamp, 1234) << c.name;
  }
  char* escaped = escape_resource_name("/my-lib_1.sav");
  EXPECT_STREQ(escaped, "_0x2Fmy_0x2Dlib_0x5F1_0x2Esav");
  LV_free(escaped);
}

TEST_F(ResourceTest, AppendedResourcesAreReadFromTheirTrailers) {
  std::vector<std::string> found;
  std::string one = appended("first", {"name=\"/one\"", hex_size(5), "file=\"dir/one.txt\""});
  std::string two = appended("second!", {"a=\"x=y\"", hex_size(7), "b=\"\""});
  EXPECT_EQ(scan("leading bytes" + one + two, &found), LVIO_E_NOT_FOUND);  // then the leading bytes
  EXPECT_EQ(found, (std::vector<std::string>{"13+5 name=/one file=dir/one.txt", std::to_string(13 + one.size()) +
                                                                                  "+7 a=x=y b="}));
  found.clear();
  // Resources from the file's very start: the scan ends at the start.
  EXPECT_EQ(scan(one + appended("", {"size=\"0x0\""}), &found), LVIO_E_END_OF_FILE);
  EXPECT_EQ(found, (std::vector<std::string>{"0+5 name=/one file=dir/one.txt", std::to_string(one.size()) + "+0"}));
}

// Damaged trailers: each ends the scan with its code, keeping the resources
// after it (nearer the file's end).
TEST_F(ResourceTest, DamagedTrailersAreRefused) {
  std::string good = appended("kept", {hex_size(4), "name=\"/kept\""});
  std::string long_line = "k=\"" + std::string(500 - 6, 'v') + "\"";  // 501 bytes with "\n# "
  std::string max_line = "k=\"" + std::string(500 - 7, 'v') + "\"";
  struct Case {
    const char* what;
    std::string file;
    int64_t rc;
    size_t resources;  // of the damaged part
  } cases[] = {
      {"no final newline", without_last(appended("abc", {hex_size(3)})), LVIO_E_NOT_FOUND, 0},
      {"missing size", appended("abc", {"name=\"x\""}), LVIO_E_NOT_FOUND, 0},
      {"capital X", appended("abcdefghijklmnop", {"size=\"0X10\""}), LVIO_E_NOT_FOUND, 0},
      {"decimal size", appended("abcdefghijklmnop", {"size=\"16\""}), LVIO_E_NOT_FOUND, 0},
      {"no digits", appended("", {"size=\"0x\""}), LVIO_E_NOT_FOUND, 0},
      {"not hexadecimal", appended("abc", {"size=\"0x3g\""}), LVIO_E_NOT_FOUND, 0},
      {"lower-case digits", appended("0123456789", {"size=\"0xa\""}), 0, 1},
      {"upper-case digits", appended("0123456789", {"size=\"0xA\""}), 0, 1},
      {"seventeen digits", appended("abc", {"size=\"0x00000000000000003\""}), LVIO_E_NOT_FOUND, 0},
      {"sixteen digits", appended("abc", {"size=\"0x0000000000000003\""}), 0, 1},
      {"beyond the file's start", appended("abc", {"size=\"0xffffffffffffffff\""}), LVIO_E_NOT_FOUND, 0},
      {"larger than what precedes", appended("abc", {hex_size(100)}), LVIO_E_NOT_FOUND, 0},
      {"two sizes", appended("abc", {hex_size(3), hex_size(3)}), LVIO_E_INVALID_STATE, 0},
      {"line of 501 bytes", appended("abc", {hex_size(3), long_line}), LVIO_E_OUT_OF_MEMORY, 0},
      {"line of 500 bytes", appended("abc", {hex_size(3), max_line}), 0, 1},
      {"not a comment", appended("abc", {hex_size(3)}).insert(3 + 21, "\nnot a comment"), LVIO_E_NOT_FOUND, 0},
      {"long opening line", "abc\n# META_INFO_SUFFIX 10\n# " + hex_size(3) + "\n# META_INFO_SUFFIX END\n",
       LVIO_E_NOT_FOUND, 0},
      {"other comments skipped", appended("abc", {"just a comment", hex_size(3), "x=\"", "=\"y\""}), 0, 1},
      {"start of file inside a line", "# " + hex_size(0) + "\n# META_INFO_SUFFIX END\n", LVIO_E_NOT_FOUND, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> found;
    int64_t rc = scan(c.file + good, &found);
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found.back(), std::to_string(c.file.size()) + "+4 name=/kept");  // the resource after it stays
    EXPECT_EQ(found.size() - 1, c.resources);
    if (c.rc != 0) {
      EXPECT_EQ(rc, c.rc);
    }
  }
}

TEST_F(ResourceTest, TheDirectorySearchesTheLaterSettingsFirst) {
  dir.file("rt", "ELF and so on" + appended("from rt", {hex_size(7), "name=\"/both\""}) +
                     appended("only rt", {hex_size(7), "file=\"/lib/only-rt.pl\""}));
  dir.file("app", appended("from app", {hex_size(8), "name=\"/both\""}));
  dir.file("embedded", "no trailer at all");
  ASSERT_EQ(lvio_setting_set("LV_RT_PATH", dir.path("rt").c_str()), 0);
  ASSERT_EQ(lvio_setting_set("LV_APP_PATH", dir.path("app").c_str()), 0);
  ASSERT_EQ(lvio_setting_set("LV_EMBEDDED_RESOURCES_PATH", dir.path("embedded").c_str()), 0);
  const uint8_t* bytes = nullptr;
  int64_t size = 0;
  ASSERT_EQ(lv_get_resource_bytes("/both", &bytes, &size), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), size), "from app");
  ASSERT_EQ(lv_get_resource_bytes("only-rt.pl", &bytes, &size), 0);  // a suffix of the file property
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), size), "only rt");
  const uint8_t* again = nullptr;
  ASSERT_EQ(lv_get_resource_bytes("/lib/only-rt.pl", &again, &size), 0);
  EXPECT_EQ(again, bytes);  // read once, then kept
  EXPECT_EQ(lv_get_resource_bytes("only", &bytes, &size), LVIO_E_NOT_FOUND);
  EXPECT_EQ(lv_get_resource_bytes("/both/", &bytes, &size), LVIO_E_NOT_FOUND);
  lv_resource_entry* e = nullptr;
  ASSERT_EQ(lv_find_resource_node("/both", &e), 0);
  const char* value = nullptr;
  EXPECT_EQ(lv_resource_property(e, "name", &value), 0);
  EXPECT_STREQ(value, "/both");
  EXPECT_EQ(lv_resource_property(e, "size", &value), LVIO_E_NOT_FOUND);  // not a property
  // Appended resources are found by name and as streams, after the others.
  int64_t rc = 0;
  EXPECT_EQ(read_url_stream("url:x-lorvika-resource:only-rt.pl", LV_FOPEN_BINARY, &rc), "only rt");
  lv_url_object* o = lv_url_open("URL:x-lorvika-resource:/both");
  ASSERT_NE(o, nullptr);
  ASSERT_EQ(o->methods->open(o, "rb"), o);
  EXPECT_EQ(object_bytes(o), "from app");
  lv_url_close(o);

  // The dump lists every resource, the later setting's file first.
  Sink sink;
  lv_stream* out = nullptr;
  ASSERT_EQ(LV_create_stream(&sink, &sink_tag, nullptr, sink_write, nullptr, nullptr, sink_close, nullptr, nullptr,
                             nullptr, LV_CREATE_CODES, &out),
            0);
  lv_stream* saved = lv_streams.user[LV_STD_OUTPUT];
  lv_streams.user[LV_STD_OUTPUT] = out;
  lv_dump_resources();
  lv_streams.user[LV_STD_OUTPUT] = saved;
  size_t only_rt = 13 + appended("from rt", {hex_size(7), "name=\"/both\""}).size();
  EXPECT_EQ(sink.text, "Embedded resource @0, length 8\n  name=/both\n"
                       "Embedded resource @13, length 7\n  name=/both\n"
                       "Embedded resource @" + std::to_string(only_rt) + ", length 7\n  file=/lib/only-rt.pl\n");
  LV_fclose(out, 0);
}

TEST_F(ResourceTest, TheDirectoryIsBuiltOnceAndMayBeEmpty) {
  const uint8_t* bytes = nullptr;
  int64_t size = 0;
  EXPECT_EQ(lv_get_resource_bytes("/x", &bytes, &size), LVIO_E_NOT_FOUND);
  lv_resource_file* first = nullptr;
  ASSERT_EQ(lv_resource_directory(&first), 0);
  ASSERT_NE(first, nullptr);  // the empty record
  EXPECT_EQ(first->resources, nullptr);
  // Built once: a file named afterwards is not looked at.
  dir.file("app", appended("late", {hex_size(4), "name=\"/x\""}));
  ASSERT_EQ(lvio_setting_set("LV_APP_PATH", dir.path("app").c_str()), 0);
  EXPECT_EQ(lv_get_resource_bytes("/x", &bytes, &size), LVIO_E_NOT_FOUND);
  lv_free_resource_directory();
  EXPECT_EQ(lv_get_resource_bytes("/x", &bytes, &size), 0);
}

// Random damage to a file of three stacked resources: the scan ends
// cleanly, and every resource it reports lies inside the file.
TEST_F(ResourceTest, RandomDamageIsRefusedCleanly) {
  std::string file = "head" + appended("alpha", {hex_size(5), "name=\"/a\""}) +
                     appended(std::string(300, 'b'), {"file=\"b.bin\"", hex_size(300)}) +
                     appended("gamma", {hex_size(5), "name=\"/c\""});
  std::mt19937 random(20241211);
  for (int round = 0; round < 300; round++) {
    std::string damaged = file;
    int edits = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < edits && !damaged.empty(); i++) {
      size_t at = random() % damaged.size();
      switch (random() % 4) {
        case 0: damaged[at] = static_cast<char>(random()); break;
        case 1: damaged.erase(at, 1 + random() % 8); break;
        case 2: damaged.insert(at, std::string(1 + random() % 8, "0123456789abcdefx\"=#\n "[random() % 22])); break;
        default: damaged.resize(at); break;
      }
    }
    std::vector<std::string> found;
    int64_t rc = scan(damaged, &found);
    EXPECT_LT(rc, 0);
    for (const std::string& f : found) {
      int64_t start = std::stoll(f);
      int64_t size = std::stoll(f.substr(f.find('+') + 1));
      EXPECT_GE(start, 0) << f;
      EXPECT_LE(start + size, static_cast<int64_t>(damaged.size())) << f;
    }
  }
}

}  // namespace
