// The 8-bit mapping tables. Each is written as the deviations from
// ISO-8859-1; the decode tables and the exception pairs of the encoders are
// derived from them at compile time.
#include "lvio/coder_8bit_tables.h"

#include <array>
#include <cstddef>

namespace {

constexpr uint32_t REPLACEMENT_BYTE = 0x1A;
constexpr uint32_t NONE = LVIO_8BIT_NO_CHARACTER;

struct deviation {
  uint8_t byte;
  uint32_t code_point;  // NONE: the byte has no character
};

template <size_t N>
constexpr std::array<uint32_t, 256> decode_table(const std::array<deviation, N>& deviations) {
  std::array<uint32_t, 256> t{};
  for (uint32_t b = 0; b < 256; b++) t[b] = b;
  for (const deviation& d : deviations) t[d.byte] = d.code_point;
  return t;
}

// The exception pairs: every byte whose character is not its own value.
template <size_t N>
constexpr size_t exception_count(const std::array<deviation, N>& deviations) {
  size_t n = 0;
  for (const deviation& d : deviations) n += d.code_point != NONE ? 1 : 0;
  return n;
}

template <size_t M, size_t N>
constexpr std::array<lvio_8bit_exception, M> exception_pairs(const std::array<deviation, N>& deviations) {
  std::array<lvio_8bit_exception, M> pairs{};
  size_t n = 0;
  for (const deviation& d : deviations)
    if (d.code_point != NONE) pairs[n++] = {d.code_point, d.byte};
  return pairs;
}

template <size_t M>
constexpr lvio_8bit_table make_table(const std::array<uint32_t, 256>& decode,
                                     const std::array<lvio_8bit_exception, M>& pairs) {
  lvio_8bit_table t{};
  t.replacement = REPLACEMENT_BYTE;
  for (size_t b = 0; b < 256; b++) t.decode[b] = decode[b];
  t.exception_count = M;
  t.exceptions = M != 0 ? pairs.data() : nullptr;
  return t;
}

constexpr std::array<deviation, 128> ascii_deviations = [] {
  std::array<deviation, 128> d{};
  for (uint32_t b = 128; b < 256; b++) d[b - 128] = {static_cast<uint8_t>(b), NONE};
  return d;
}();

constexpr std::array<deviation, 0> latin1_deviations{};

constexpr std::array<deviation, 57> latin2_deviations = {{
    {0xA1, 0x0104}, {0xA2, 0x02D8}, {0xA3, 0x0141}, {0xA5, 0x013D}, {0xA6, 0x015A}, {0xA9, 0x0160}, {0xAA, 0x015E},
    {0xAB, 0x0164}, {0xAC, 0x0179}, {0xAE, 0x017D}, {0xAF, 0x017B}, {0xB1, 0x0105}, {0xB2, 0x02DB}, {0xB3, 0x0142},
    {0xB5, 0x013E}, {0xB6, 0x015B}, {0xB7, 0x02C7}, {0xB9, 0x0161}, {0xBA, 0x015F}, {0xBB, 0x0165}, {0xBC, 0x017A},
    {0xBD, 0x02DD}, {0xBE, 0x017E}, {0xBF, 0x017C}, {0xC0, 0x0154}, {0xC3, 0x0102}, {0xC5, 0x0139}, {0xC6, 0x0106},
    {0xC8, 0x010C}, {0xCA, 0x0118}, {0xCC, 0x011A}, {0xCF, 0x010E}, {0xD0, 0x0110}, {0xD1, 0x0143}, {0xD2, 0x0147},
    {0xD5, 0x0150}, {0xD8, 0x0158}, {0xD9, 0x016E}, {0xDB, 0x0170}, {0xDE, 0x0162}, {0xE0, 0x0155}, {0xE3, 0x0103},
    {0xE5, 0x013A}, {0xE6, 0x0107}, {0xE8, 0x010D}, {0xEA, 0x0119}, {0xEC, 0x011B}, {0xEF, 0x010F}, {0xF0, 0x0111},
    {0xF1, 0x0144}, {0xF2, 0x0148}, {0xF5, 0x0151}, {0xF8, 0x0159}, {0xF9, 0x016F}, {0xFB, 0x0171}, {0xFE, 0x0163},
    {0xFF, 0x02D9},
}};

constexpr std::array<deviation, 8> latin9_deviations = {{
    {0xA4, 0x20AC},
    {0xA6, 0x0160},
    {0xA8, 0x0161},
    {0xB4, 0x017D},
    {0xB8, 0x017E},
    {0xBC, 0x0152},
    {0xBD, 0x0153},
    {0xBE, 0x0178},
}};

constexpr std::array<deviation, 32> windows1252_deviations = {{
    {0x80, 0x20AC}, {0x81, NONE},   {0x82, 0x201A}, {0x83, 0x0192}, {0x84, 0x201E}, {0x85, 0x2026}, {0x86, 0x2020},
    {0x87, 0x2021}, {0x88, 0x02C6}, {0x89, 0x2030}, {0x8A, 0x0160}, {0x8B, 0x2039}, {0x8C, 0x0152}, {0x8D, NONE},
    {0x8E, 0x017D}, {0x8F, NONE},   {0x90, NONE},   {0x91, 0x2018}, {0x92, 0x2019}, {0x93, 0x201C}, {0x94, 0x201D},
    {0x95, 0x2022}, {0x96, 0x2013}, {0x97, 0x2014}, {0x98, 0x02DC}, {0x99, 0x2122}, {0x9A, 0x0161}, {0x9B, 0x203A},
    {0x9C, 0x0153}, {0x9D, NONE},   {0x9E, 0x017E}, {0x9F, 0x0178},
}};

constexpr auto ascii_pairs = exception_pairs<exception_count(ascii_deviations)>(ascii_deviations);
constexpr auto latin1_pairs = exception_pairs<exception_count(latin1_deviations)>(latin1_deviations);
constexpr auto latin2_pairs = exception_pairs<exception_count(latin2_deviations)>(latin2_deviations);
constexpr auto latin9_pairs = exception_pairs<exception_count(latin9_deviations)>(latin9_deviations);
constexpr auto windows1252_pairs = exception_pairs<exception_count(windows1252_deviations)>(windows1252_deviations);

}  // namespace

constexpr lvio_8bit_table lvio_table_ascii = make_table(decode_table(ascii_deviations), ascii_pairs);
constexpr lvio_8bit_table lvio_table_latin1 = make_table(decode_table(latin1_deviations), latin1_pairs);
constexpr lvio_8bit_table lvio_table_latin2 = make_table(decode_table(latin2_deviations), latin2_pairs);
constexpr lvio_8bit_table lvio_table_latin9 = make_table(decode_table(latin9_deviations), latin9_pairs);
constexpr lvio_8bit_table lvio_table_windows1252 = make_table(decode_table(windows1252_deviations), windows1252_pairs);
