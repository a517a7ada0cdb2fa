// The multi-instance state, user mutexes and further runtime copies.
#include "embed/runtime_instances.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/api_error.h"
#include "core/host.h"

namespace {

// The library's global lock: guards the making of the shared state.
pthread_mutex_t global_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;

// Read from any thread; published once, under the global lock.
std::atomic<lv_multi_state*> state{nullptr};
int64_t adoptions;

constexpr int LV_ERR_MUTEX_UNUSED = 16;

pthread_mutex_t* new_recursive_mutex() {
  auto* m = static_cast<pthread_mutex_t*>(std::malloc(sizeof(pthread_mutex_t)));
  if (m == nullptr) return nullptr;
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  int rc = pthread_mutex_init(m, &attributes);
  pthread_mutexattr_destroy(&attributes);
  if (rc != 0) {
    std::free(m);
    return nullptr;
  }
  return m;
}

// The shared state, or null with interface error 1.
lv_multi_state* state_or_refuse() {
  lv_multi_state* s = state.load(std::memory_order_acquire);
  if (s == nullptr) lv_set_api_error(LV_ERR_NOT_INITIALIZED);
  return s;
}

// The directory of this library's own file, with its final slash.
bool own_directory(std::string* out) {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&LV_get_dispatch_40900), &info) == 0 || info.dli_fname == nullptr) return false;
  std::string path = info.dli_fname;
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return false;
  *out = path.substr(0, slash + 1);
  return true;
}

}  // namespace

lv_multi_state* lv_multi_state_current() { return state.load(std::memory_order_acquire); }

lv_multi_state* lv_multi_state_get_or_create() {
  pthread_mutex_lock(&global_lock);
  if (state.load(std::memory_order_relaxed) == nullptr) {
    auto* s = static_cast<lv_multi_state*>(std::malloc(sizeof(lv_multi_state)));
    pthread_mutex_t* lock = s != nullptr ? new_recursive_mutex() : nullptr;
    if (lock != nullptr) {
      *s = {1, lock, 1, 0};
      state.store(s, std::memory_order_release);
      adoptions = 1;
    } else {
      std::free(s);
    }
  }
  pthread_mutex_unlock(&global_lock);
  return state.load(std::memory_order_relaxed);
}

int LV_load_lorvika_run_time(lv_dispatch_entry* entry, void** module) {
  if (entry == nullptr || module == nullptr) return -1;
  lv_multi_state* shared = state.load(std::memory_order_acquire);
  if (shared == nullptr) {
    if (lv_multi_state_get_or_create() == nullptr) return -1;
    *entry = &LV_get_dispatch_40900;
    *module = nullptr;
    return 1;
  }
  pthread_mutex_lock(shared->lock);
  int result = -1;
  std::string path;
  if (own_directory(&path) && shared->next_instance < 256) {
    char name[40];
    std::snprintf(name, sizeof name, "lvrt4-9-0-instance-%02llX" LV_HOST_LIBRARY_SUFFIX, static_cast<unsigned long long>(shared->next_instance));
    path += name;
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    void* found = library != nullptr ? dlsym(library, "LV_get_dispatch_40900") : nullptr;
    if (library != nullptr) shared->next_instance++;
    if (found != nullptr) {
      auto other = reinterpret_cast<lv_dispatch_entry>(found);
      const lv_dispatch* d = other(nullptr);
      LV_set_multi_lv_state_fn* adopt = LV_API(d->c_interface, LV_set_multi_lv_state);
      if (adopt != nullptr && adopt(shared) != 0) {
        *entry = other;
        *module = library;
        result = 1;
      }
    }
  }
  pthread_mutex_unlock(shared->lock);
  return result;
}

int LV_set_multi_lv_state(lv_multi_state* shared) {
  pthread_mutex_lock(&global_lock);
  int adopted = 0;
  if (adoptions++ == 0 && state.load(std::memory_order_relaxed) == nullptr && shared != nullptr) {
    pthread_mutex_lock(shared->lock);
    shared->refcount++;
    pthread_mutex_unlock(shared->lock);
    state.store(shared, std::memory_order_release);
    adopted = 1;
  }
  pthread_mutex_unlock(&global_lock);
  return adopted;
}

int LV_mutex_lock(void** mutex) {
  lv_multi_state* shared = mutex != nullptr ? state_or_refuse() : nullptr;
  if (shared == nullptr) return 0;
  pthread_mutex_lock(shared->lock);
  if (*mutex == nullptr) *mutex = new_recursive_mutex();
  auto* m = static_cast<pthread_mutex_t*>(*mutex);
  pthread_mutex_unlock(shared->lock);
  if (m == nullptr) return 0;
  pthread_mutex_lock(m);
  return 1;
}

int LV_mutex_unlock(void** mutex) {
  lv_multi_state* shared = mutex != nullptr ? state_or_refuse() : nullptr;
  if (shared == nullptr) return 0;
  pthread_mutex_lock(shared->lock);
  auto* m = static_cast<pthread_mutex_t*>(*mutex);
  pthread_mutex_unlock(shared->lock);
  if (m == nullptr) {
    lv_set_api_error(LV_ERR_MUTEX_UNUSED);
    return 0;
  }
  pthread_mutex_unlock(m);
  return 1;
}

int LV_mutex_destroy(void** mutex) {
  lv_multi_state* shared = mutex != nullptr ? state_or_refuse() : nullptr;
  if (shared == nullptr) return 0;
  pthread_mutex_lock(shared->lock);
  auto* m = static_cast<pthread_mutex_t*>(*mutex);
  *mutex = nullptr;
  pthread_mutex_unlock(shared->lock);
  if (m != nullptr) {
    pthread_mutex_destroy(m);
    std::free(m);
  }
  return 1;
}
