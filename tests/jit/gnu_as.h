// Test support: machine code that GNU as makes of Intel-syntax text, one
// piece per case, for comparing the emitters' bytes with.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/temp_files.h"

namespace gnu_as {

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The bytes of each text, assembled in one run of as. Each case starts at
// the local label 0, so that a relative target N bytes past the case's
// start is written 0b+N (`jmp 0b+64`).
inline std::vector<std::vector<uint8_t>> assemble(const std::vector<std::string>& texts) {
  TempFiles dir;
  std::string source = ".intel_syntax noprefix\n.text\n";
  for (size_t i = 0; i < texts.size(); i++) source += "c" + std::to_string(i) + ":\n0:\n" + texts[i] + "\n";
  source += "cend:\n";
  dir.file("cases.s", source);
  std::string o = dir.path("cases.o");
  std::string run = "as --64 -o " + o + " " + dir.path("cases.s") + " 2>" + dir.path("as.err") +
                    " && objcopy -O binary -j .text " + o + " " + dir.path("cases.bin") + " && nm " + o + " >" +
                    dir.path("cases.sym");
  if (std::system(run.c_str()) != 0)
    throw std::runtime_error("GNU as (binutils) failed:\n" + read_file(dir.path("as.err")));
  std::map<std::string, uint64_t> offsets;
  std::istringstream symbols(read_file(dir.path("cases.sym")));
  std::string address, type, name;
  while (symbols >> address >> type >> name) offsets[name] = std::stoull(address, nullptr, 16);
  std::string bytes = read_file(dir.path("cases.bin"));
  std::vector<std::vector<uint8_t>> out;
  for (size_t i = 0; i < texts.size(); i++) {
    uint64_t from = offsets.at("c" + std::to_string(i));
    uint64_t to = offsets.at(i + 1 < texts.size() ? "c" + std::to_string(i + 1) : "cend");
    out.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(to));
  }
  return out;
}

inline std::string hex(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (uint8_t b : bytes) {
    if (!s.empty()) s += ' ';
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

}  // namespace gnu_as
