// Writes the engine's side of the contract with the Prolog-level system as
// Prolog facts:
//   role(Field, Name, Arity).           a predicate of module prolog that
//                                        the engine calls by role
//   kind_predicate(Kind, Name, Arity).  a predicate that carries a built-in
//                                        call kind
//   rule(Name, Value).                  a shared convention that is not a
//                                        predicate
//   error_code(Name, Code).             a pending-error code of the engine
//                                        (core/error_codes.def), the name in
//                                        lower case
// Usage: contract_facts OUTPUT-FILE
#include <cctype>
#include <cstdio>

namespace {

void write_error_code(std::FILE* out, const char* name, int code) {
  std::fputs("error_code(", out);
  for (const char* c = name; *c != 0; c++) std::fputc(std::tolower(static_cast<unsigned char>(*c)), out);
  std::fprintf(out, ", %d).\n", code);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s output-file\n", argv[0]);
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
#define LV_ERROR_CODE(name, code) write_error_code(out, #name, code);
#include "core/error_codes.def"
#undef LV_ERROR_CODE
  return std::fclose(out) == 0 ? 0 : 1;
}
