// The stream built-ins that wait on sockets and streams, set time-outs and
// switch compression.
#include <climits>

#include "core/atoms.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/stack_shift.h"
#include "core/text_lists.h"
#include "core/unify.h"
#include "core/worker.h"
#include "lvio/chain.h"
#include "lvio/time_value.h"
#include "streams/stream.h"
#include "streams/stream_api.h"
#include "streams/stream_builtin_args.h"
#include "streams/stream_builtins.h"
#include "streams/stream_internal.h"
#include "streams/stream_layers.h"

namespace {

constexpr uint32_t SCRATCH_MEM = lv_mem_flags(LV_CAT_MISC);

// A time-out in seconds as a time value; a positive one too short to
// count becomes one nanosecond.
int64_t seconds_time(double seconds, lvio_time* t) {
  int64_t rc = lvio_time_from_seconds(seconds, t);
  if (rc < 0) return rc;
  if (seconds > 0 && t->seconds == 0 && t->nanoseconds == 0) t->nanoseconds = 1;
  return 0;
}

// The arrays of one $select call.
struct select_arrays {
  void* block = nullptr;
  uint64_t bytes = 0;
  int64_t* handles = nullptr;
  lv_stream** reads = nullptr;
  lv_stream** writes = nullptr;

  bool make(int64_t nh, int64_t nr, int64_t nw) {
    bytes = static_cast<uint64_t>(nh + nr + nw + 1) * 8;
    block = lv_mem_alloc(bytes, SCRATCH_MEM);
    if (block == nullptr) return false;
    handles = static_cast<int64_t*>(block);
    reads = reinterpret_cast<lv_stream**>(handles + nh);
    writes = reads + nr;
    return true;
  }
  void free() {
    if (block != nullptr) lv_mem_free(block, bytes, SCRATCH_MEM);
    block = nullptr;
  }
};

// The streams of a list argument: 0, LVIO_E_PARAMETER_ERROR for an element
// that is no stream term, or 1 when one does not decode (its error is
// pending).
int64_t stream_list(lv_term list, lv_stream** out, uint64_t capability) {
  int64_t i = 0;
  for (list = lv_deref(list); lv_is_list(list); list = lv_deref(lv_list_cells(list)[1]), i++) {
    lv_term e = lv_list_cells(list)[0];
    if (!lv_looks_like_stream(e)) return LVIO_E_PARAMETER_ERROR;
    out[i] = lv_get_stream_arg(lv_stream_unwrap(e), capability, 0);
    if (out[i] == nullptr) return 1;
  }
  return 0;
}

// The elements of the list in X[slot] whose entries are ready, as a list
// built on the heap (room made by the caller).
lv_term ready_list(lv_worker* w, unsigned slot, int64_t count, bool (*ready)(const select_arrays&, int64_t),
                   const select_arrays& a) {
  lv_term* h = w->H;
  int64_t n = 0;
  lv_term list = lv_deref(w->X[slot]);
  for (int64_t i = 0; i < count; i++, list = lv_deref(lv_list_cells(list)[1])) {
    if (!ready(a, i)) continue;
    h[2 * n] = lv_list_cells(list)[0];
    h[2 * n + 1] = lv_make_list(&h[2 * n + 2]);
    n++;
  }
  if (n == 0) return LV_ATOM_NIL;
  h[2 * n - 1] = LV_ATOM_NIL;
  w->H = h + 2 * n;
  return lv_make_list(h);
}

}  // namespace

int prolog_select(lv_worker* w) {
  constexpr const char* NAME = "$select";
  int64_t nh = lv_proper_list_length(lv_deref(w->X[0]));
  int64_t ni = lv_proper_list_length(lv_deref(w->X[2]));
  int64_t nr = lv_proper_list_length(lv_deref(w->X[4]));
  int64_t nw = lv_proper_list_length(lv_deref(w->X[6]));
  int64_t code = nh < 0 || ni < 0 || nr < 0 || nw < 0 ? LVIO_E_PARAMETER_ERROR : 0;
  for (lv_term l = lv_deref(w->X[2]); code == 0 && lv_is_list(l); l = lv_deref(lv_list_cells(l)[1]))
    if (!lv_is_integer(lv_deref(lv_list_cells(l)[0]))) code = LVIO_E_PARAMETER_ERROR;
  lvio_time time = {0, 0};
  const lvio_time* timeout = nullptr;
  lv_term t = lv_deref(w->X[8]);
  if (code == 0 && !lv_is_float_box(t)) code = LVIO_E_PARAMETER_ERROR;
  if (code == 0 && lv_float_value(t) >= 0) {
    code = seconds_time(lv_float_value(t), &time);
    timeout = &time;
  }
  select_arrays a;
  if (code == 0 && !a.make(nh, nr, nw)) code = LVIO_E_OUT_OF_MEMORY;
  int64_t i = 0;
  for (lv_term l = lv_deref(w->X[0]); code == 0 && lv_is_list(l); l = lv_deref(lv_list_cells(l)[1]), i++) {
    int64_t socket = 0;
    if (!lv_integer_arg(lv_list_cells(l)[0], &socket) || socket < 0 || socket > INT_MAX)
      code = LVIO_E_PARAMETER_ERROR;
    else
      a.handles[i] = socket;
  }
  for (int side = 0; side < 2 && code == 0; side++) {
    code = stream_list(w->X[side == 0 ? 4 : 6], side == 0 ? a.reads : a.writes, side == 0 ? LV_CAP_INPUT : LV_CAP_OUTPUT);
    if (code == 1) {
      a.free();
      return lv_raise_pending(w, NAME, 10, side == 0 ? 5 : 7);
    }
  }
  if (code == 0) {
    // The sockets are waited on for readability: data, a connection to
    // accept, or the peer's close.
    int64_t ready[3] = {nh, nr, nw};
    code = LV_select(a.handles, &ready[0], a.reads, &ready[1], a.writes, &ready[2], timeout, 0);
    if (code >= 0) {
      code = 0;
      lv_heap_room(w, 2 * (ready[0] + ready[1] + ready[2]), 10);
      lv_term sockets = ready_list(w, 0, nh, [](const select_arrays& s, int64_t k) { return s.handles[k] >= 0; }, a);
      lv_term reads = ready_list(w, 4, nr, [](const select_arrays& s, int64_t k) { return s.reads[k] != nullptr; }, a);
      lv_term writes = ready_list(w, 6, nw, [](const select_arrays& s, int64_t k) { return s.writes[k] != nullptr; }, a);
      a.free();
      if (cunify(w, w->X[1], sockets) == 0 || cunify(w, w->X[5], reads) == 0 || cunify(w, w->X[7], writes) == 0)
        return 0;
    }
  }
  a.free();
  return lv_unify_integer(w, 9, code, 10) ? 1 : 0;
}

int prolog_set_stream_timeout(lv_worker* w) {
  lv_stream* s = lv_get_stream_arg(w->X[0], LV_CAP_STREAM, 0);
  if (s == nullptr) return lv_raise_pending(w, "$set_stream_timeout", 4, 1);
  int64_t code = 0;
  lvio_time time = {0, 0};
  const lvio_time* timeout = &time;
  lv_term t = lv_deref(w->X[1]);
  int64_t seconds = 0;
  if (t == LV_ATOM_INFINITE_)
    timeout = nullptr;
  else if (lv_is_float_box(t) && lv_float_value(t) >= 0)
    code = seconds_time(lv_float_value(t), &time);
  else if (lv_integer_arg(t, &seconds) && seconds >= 0)
    time.seconds = seconds;
  else
    code = LVIO_E_PARAMETER_ERROR;
  int64_t sides = 0;
  if (!lv_integer_arg(w->X[2], &sides) || sides < 0 || (sides & 3) == 0) code = LVIO_E_PARAMETER_ERROR;
  if (code == 0 && s->chain != nullptr) {
    uint32_t flags = ((sides & 1) != 0 ? 2 : 0) | ((sides & 2) != 0 ? 4 : 0);
    code = lvio_stream_set_timeout(&s->chain, timeout, flags);
    if (code > 0) code = 0;
  }
  return lv_unify_integer(w, 3, code, 4) ? 1 : 0;
}

int prolog_set_stream_zlib(lv_worker* w) {
  constexpr const char* NAME = "$set_stream_zlib";
  lv_stream* s = lv_get_stream_arg(w->X[0], LV_CAP_STREAM, 0);
  if (s == nullptr) return lv_raise_pending(w, NAME, 2, 1);
  int64_t option = 0;
  if (!lv_integer_arg(w->X[1], &option)) return lv_raise_code(w, LVIO_E_PARAMETER_ERROR, false, NAME, 2, 2);
  int64_t rc = lv_stream_zlib_layer(s, static_cast<uint32_t>(option & 1));
  bool output = (s->flags & (LV_STREAM_INPUT | LV_STREAM_OUTPUT)) == LV_STREAM_OUTPUT;
  return rc < 0 ? lv_raise_code(w, rc, output, NAME, 2, 1) : 1;
}
