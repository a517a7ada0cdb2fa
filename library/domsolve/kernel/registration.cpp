// The registration tables: names, arities and glue stubs, all generated
// from foreign_predicates.def. A stub turns the runtime's call record into a
// C call with the environment first and the arguments in Prolog order; for
// a predicate with a result (one argument fewer than its arity) it stores
// the C function's return value into the record's word 3, which the runtime
// delivers to the last Prolog argument.
#include <cstddef>
#include <type_traits>
#include <utility>

#include "kernel/foreign_predicates.h"

namespace {

constexpr int RECORD_RESULT = 3;
constexpr int RECORD_ARGUMENTS = 5;

template <typename T>
T argument(uint64_t word);
template <>
fd_t argument<fd_t>(uint64_t word) {
  return static_cast<fd_t>(static_cast<uint32_t>(word));
}
template <>
fd_w argument<fd_w>(uint64_t word) {
  return static_cast<fd_w>(word);
}

template <typename R, typename... A>
constexpr int parameter_count(R (*)(lv_foreign_env*, A...)) {
  return sizeof...(A);
}

template <auto F, int Arity, typename R, typename... A, size_t... I>
void call(uint64_t* record, R (*)(lv_foreign_env*, A...), std::index_sequence<I...>) {
  auto* env = reinterpret_cast<lv_foreign_env*>(record[0]);
  if constexpr (Arity == sizeof...(A) + 1)
    record[RECORD_RESULT] = static_cast<uint64_t>(F(env, argument<A>(record[RECORD_ARGUMENTS + I])...));
  else
    F(env, argument<A>(record[RECORD_ARGUMENTS + I])...);
}

template <auto F, int Arity, typename R, typename... A>
void dispatch(uint64_t* record, R (*f)(lv_foreign_env*, A...)) {
  call<F, Arity>(record, f, std::index_sequence_for<A...>{});
}

template <auto F, int Arity>
void glue(uint64_t* record) {
  dispatch<F, Arity>(record, F);
}

}  // namespace

#define FD_FOREIGN(index, name, arity, function, built, result, ...)                                        \
  static_assert(parameter_count(&function) == arity ||                                                     \
                    (parameter_count(&function) + 1 == arity && !std::is_void_v<result>),                  \
                name ": the arity is the argument count, or one more for the result");
#include "kernel/foreign_predicates.def"
#undef FD_FOREIGN

const char* const fd_foreign_names[FD_FOREIGN_COUNT + 1] = {
#define FD_FOREIGN(index, name, ...) name,
#include "kernel/foreign_predicates.def"
#undef FD_FOREIGN
    nullptr,
};

const int32_t fd_foreign_arities[FD_FOREIGN_COUNT + 1] = {
#define FD_FOREIGN(index, name, arity, ...) arity,
#include "kernel/foreign_predicates.def"
#undef FD_FOREIGN
    -1,
};

fd_glue_fn const fd_foreign_stubs[FD_FOREIGN_COUNT + 1] = {
#define FD_FOREIGN(index, name, arity, function, ...) &glue<&function, arity>,
#include "kernel/foreign_predicates.def"
#undef FD_FOREIGN
    nullptr,
};

#define FD_FOREIGN(index, ...) +1
static_assert(0
#include "kernel/foreign_predicates.def"
              == FD_FOREIGN_COUNT);
#undef FD_FOREIGN

namespace {

constexpr int registration_indexes[] = {
#define FD_FOREIGN(index, ...) index,
#include "kernel/foreign_predicates.def"
#undef FD_FOREIGN
};

constexpr bool indexes_in_order() {
  for (int i = 0; i < FD_FOREIGN_COUNT; i++)
    if (registration_indexes[i] != i) return false;
  return true;
}
static_assert(indexes_in_order(), "the rows of foreign_predicates.def stand in registration order");

}  // namespace
