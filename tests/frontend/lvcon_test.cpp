// The console window's translations: the bytes typed into keys, and the
// units shown into terminal output.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lvcon/lvcon_keys.h"
#include "lvcon/lvcon_screen.h"

namespace {

struct typed {
  const char* name;
  bool terminal;
  std::vector<std::string> chunks;  // read one after the other
  std::vector<int> keys;
};

class Keys : public ::testing::TestWithParam<typed> {};

TEST_P(Keys, Decoded) {
  const typed& c = GetParam();
  lvcon_key_decoder d;
  d.terminal = c.terminal;
  std::vector<int> keys;
  for (const auto& chunk : c.chunks)
    lvcon_decode_keys(d, reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size(), keys);
  EXPECT_EQ(keys, c.keys);
}

constexpr int I = LVCON_KEY_INTERRUPT;
constexpr int B = LVCON_KEY_BREAK;

INSTANTIATE_TEST_SUITE_P(
    Input, Keys,
    ::testing::Values(
        typed{"ascii", true, {"ab\r"}, {'a', 'b', 13}},
        typed{"two_and_three_bytes", true, {"\xC3\xA0\xE2\x82\xAC"}, {0xE0, 0x20AC}},
        typed{"above_the_bmp_as_a_pair", true, {"\xF0\x9D\x84\x9E"}, {0xD834, 0xDD1E}},
        typed{"sequence_split_between_reads", true, {"\xF0\x9D", "\x84\x9E!"}, {0xD834, 0xDD1E, '!'}},
        typed{"invalid_bytes_replaced", true, {"\xFF" "a\xC3" "b\xED\xA0\x80"}, {0xFFFD, 'a', 0xFFFD, 'b', 0xFFFD}},
        typed{"overlong_replaced", true, {"\xE0\x80\xAF"}, {0xFFFD}},
        typed{"cursor_keys", true, {"\x1b[A\x1b[B\x1b[C\x1b[D"}, {0, 72, 0, 80, 0, 77, 0, 75}},
        typed{"home_end_delete", true, {"\x1b[H\x1b[F\x1bOH\x1b[1~\x1b[4~\x1b[3~"}, {0, 71, 0, 79, 0, 71, 0, 71, 0, 79, 0, 83}},
        typed{"modified_cursor_key", true, {"\x1b[1;5C"}, {0, 77}},
        typed{"escape_sequence_split", true, {"\x1b", "[", "A"}, {0, 72}},
        typed{"unknown_sequence_dropped", true, {"\x1b[12;3Rx"}, {'x'}},
        typed{"lone_escape", true, {"\x1bx\x1b\x1b[A"}, {27, 'x', 27, 0, 72}},
        typed{"signalling_keys", true, {"a\x03" "b\x1c"}, {'a', I, 'b', B}},
        typed{"delete_is_backspace_and_nul_dropped", true, {std::string("\x7f\0z", 3)}, {8, 'z'}},
        typed{"not_a_terminal_passes_through", false, {std::string("\x1b[A\x03\x7f\0\xC3\xA0", 8)},
              {27, '[', 'A', 3, 127, 0xE0}}),
    [](const auto& info) { return std::string(info.param.name); });

struct shown {
  const char* name;
  int width;
  std::vector<std::u16string> writes;  // one call each
  std::string bytes;
};

class Screen : public ::testing::TestWithParam<shown> {};

TEST_P(Screen, Output) {
  const shown& c = GetParam();
  lvcon_screen s;
  std::string out;
  for (const auto& w : c.writes) lvcon_screen_write(s, w.data(), w.size(), c.width, out);
  EXPECT_EQ(out, c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Output, Screen,
    ::testing::Values(
        shown{"utf8", 0, {u"a\u00e0\u20ac\n"}, "a\xC3\xA0\xE2\x82\xAC\n"},
        shown{"pair_split_between_calls", 0, {u"x\xD834", u"\xDD1E"}, "x\xF0\x9D\x84\x9E"},
        shown{"back_over_a_pair_is_one_cell", 0, {u"a\U0001D11E\b\b\b"}, "a\xF0\x9D\x84\x9E\b\b"},
        shown{"back_over_a_wide_character_is_two_cells", 0, {u"\u4e2d\b"}, "\xE4\xB8\xAD\b\b"},
        shown{"lone_halves_replaced", 0, {u"\xDD1E", u"\xD834x"}, "\xEF\xBF\xBD\xEF\xBF\xBDx"},
        shown{"half_pair_taken_back", 0, {u"a\xD834\bb"}, "ab"},
        shown{"back_at_line_start_stays", 0, {u"\b\na\b\b"}, "\na\b"},
        shown{"escape_sequences_take_no_cells", 0, {u"\x1b[31mab\x1b[0m\b\b\b\b\b\b\b\b"}, "\x1b[31mab\x1b[0m\b\b"},
        shown{"back_within_a_row", 10, {u"abcdefghijkl\b\b"}, "abcdefghijkl\b\b"},
        shown{"back_to_the_row_above", 10, {u"abcdefghijkl\b\b\b\b"}, "abcdefghijkl\b\b\r\x1b[1A\x1b[9C\b"},
        shown{"back_from_a_full_row", 10, {u"abcdefghij\b"}, "abcdefghij\r\x1b[9C"},
        shown{"back_from_a_full_row_to_its_start", 10, {u"abcdefghijklmnopqrst\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b"},
              "abcdefghijklmnopqrst\r\x1b[9C\b\b\b\b\b\b\b\b\b\r\x1b[1A\x1b[9C\b\b\b\b\b\b\b\b\b"},
        shown{"new_line_forgets_the_row", 10, {u"abcdefghijkl\nx\b"}, "abcdefghijkl\nx\b"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
