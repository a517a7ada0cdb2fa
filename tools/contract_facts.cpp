// Writes the engine's side of the contract with the Prolog-level system as
// Prolog facts:
//   role(Field, Name, Arity).           a predicate of module prolog that
//                                        the engine calls by role
//   kind_predicate(Kind, Name, Arity).  a predicate that carries a built-in
//                                        call kind
//   rule(Name, Value).                  a shared convention that is not a
//                                        predicate
//   error_code(Name, Code, Formal).     a pending-error code of the engine
//                                        (core/error_codes.def), the name in
//                                        lower case, and the text of the ISO
//                                        error term raised for it, as an atom
// With a second file name, the error codes are also written there as the
// boot library's table, clauses of module prolog:
//   '$error_code'(Code, Name, Formal, Culprit, Message).
// Usage: contract_facts OUTPUT-FILE [ERROR-TABLE-FILE]
#include <cctype>
#include <cstdio>

namespace {

void write_lower(std::FILE* out, const char* name) {
  for (const char* c = name; *c != 0; c++) std::fputc(std::tolower(static_cast<unsigned char>(*c)), out);
}

void write_error_code(std::FILE* out, const char* name, int code, const char* formal) {
  std::fputs("error_code(", out);
  write_lower(out, name);
  std::fprintf(out, ", %d, '", code);
  // The formal as a quoted atom: its own quotes doubled.
  for (const char* c = formal; *c != '\0'; c++) {
    if (*c == '\'') std::fputc('\'', out);
    std::fputc(*c, out);
  }
  std::fputs("').\n", out);
}

void write_table_row(std::FILE* out, const char* name, int code, const char* formal) {
  std::fprintf(out, "'$error_code'(%d, ", code);
  write_lower(out, name);
  std::fprintf(out, ", %s, Culprit, Message).\n", formal);
}

// The boot library's table of the error codes.
int write_table(const char* path) {
  std::FILE* out = std::fopen(path, "w");
  if (out == nullptr) {
    std::perror(path);
    return 1;
  }
  std::fprintf(out,
               "%% Generated from the runtime's error-code table (core/error_codes.def); do not edit.\n"
               "%% '$error_code'(Code, Name, Formal, Culprit, Message): the ISO error term for a\n"
               "%% pending-error code, given the pending culprit and message.\n\n"
               ":- module(prolog, []).\n\n");
#define LV_ERROR_CODE(name, code, formal) write_table_row(out, #name, code, formal);
#include "core/error_codes.def"
#undef LV_ERROR_CODE
  return std::fclose(out) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: %s output-file [error-table-file]\n", argv[0]);
    return 2;
  }
  std::FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  std::fprintf(out, "%% Generated from the runtime's contract table; do not edit.\n\n");
#define LV_ROLE(field, name, arity) std::fprintf(out, "role(%s, '%s', %d).\n", #field, name, arity);
#define LV_KIND_PRED(kind, name, arity)
#include "embed/prolog_contract.def"
#undef LV_ROLE
#undef LV_KIND_PRED
  std::fprintf(out, "\n");
#define LV_ROLE(field, name, arity)
#define LV_KIND_PRED(kind, name, arity) std::fprintf(out, "kind_predicate('%s', '%s', %d).\n", #kind, name, arity);
#include "embed/prolog_contract.def"
#undef LV_ROLE
#undef LV_KIND_PRED
  std::fprintf(out, "\n");
#define LV_ROLE(field, name, arity)
#define LV_KIND_PRED(kind, name, arity)
#define LV_RULE(name, value) std::fprintf(out, "rule(%s, %s).\n", #name, value);
#include "embed/prolog_contract.def"
#undef LV_ROLE
#undef LV_KIND_PRED
#undef LV_RULE
  std::fprintf(out, "\n");
#define LV_ERROR_CODE(name, code, formal) write_error_code(out, #name, code, formal);
#include "core/error_codes.def"
#undef LV_ERROR_CODE
  if (std::fclose(out) != 0) return 1;
  return argc == 3 ? write_table(argv[2]) : 0;
}
