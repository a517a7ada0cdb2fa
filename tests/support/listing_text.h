// Test support: code listings and term texts made comparable: addresses,
// variable numbers and the Q of instruction names (where the assembler puts
// a Q form depends on alignment) masked.
#pragma once

#include <cctype>
#include <string>

namespace listing_text {

// Every "0x" and the hexadecimal digits after it as "@".
inline std::string mask_addresses(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    if (s.compare(i, 2, "0x") == 0) {
      out += '@';
      i += 2;
      while (i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i]))) i++;
    } else {
      out += s[i++];
    }
  }
  return out;
}

// "_" and the digits after it as "_".
inline std::string mask_variables(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    out += s[i];
    if (s[i++] == '_')
      while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) i++;
  }
  return out;
}

// An upper-case word's final Q dropped when a blank, a newline, a quote or
// the end follows: LASTCALLQ and 'GET_CONSTANTQ' read as their plain forms.
inline std::string plain_names(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); i++) {
    bool end = i + 1 == s.size() || s[i + 1] == ' ' || s[i + 1] == '\n' || s[i + 1] == '\'';
    bool after_word = i > 0 && (std::isupper(static_cast<unsigned char>(s[i - 1])) || std::isdigit(static_cast<unsigned char>(s[i - 1])));
    if (s[i] == 'Q' && end && after_word) continue;
    out += s[i];
  }
  return out;
}

}  // namespace listing_text
