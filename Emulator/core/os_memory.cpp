// Operating-system memory blocks on mmap/munmap.
#include "core/os_memory.h"

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

namespace {

uint64_t alloc_unit = 65536;

constexpr uint64_t HIGH_HALF = uint64_t{1} << 63;

// The user address space of x86-64 Linux with 4-level page tables.
constexpr uint64_t USER_ADDRESS_SPACE = uint64_t{1} << 47;

uint64_t mapped_bytes() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return 0;
  unsigned long long pages = 0;
  if (std::fscanf(f, "%llu", &pages) != 1) pages = 0;
  std::fclose(f);
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

}  // namespace

int lv_os_init_alloc_unit(uint64_t alignment) {
  uint64_t unit = 65536;
  long page = sysconf(_SC_PAGESIZE);
  if (page > 0 && static_cast<uint64_t>(page) > unit) unit = static_cast<uint64_t>(page);
  if (alignment > unit) unit = alignment;
  alloc_unit = unit;
  return 1;
}

uint64_t lv_os_alloc_unit() { return alloc_unit; }

void* lv_os_virtual_alloc(uint64_t size, uint64_t* actual, const lv_mem_hook_record* record) {
  if (size == 0 || size > HIGH_HALF) return nullptr;
  uint64_t length = (size + alloc_unit - 1) / alloc_unit * alloc_unit;
  uint64_t kind = record != nullptr ? record->area_kind : LV_AREA_ORDINARY;
  int prot = PROT_READ | PROT_WRITE;
  if ((kind & LV_AREA_EXECUTABLE) != 0) prot |= PROT_EXEC;
  void* block = mmap(nullptr, length, prot, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (block == MAP_FAILED) return nullptr;
  uint64_t start = reinterpret_cast<uint64_t>(block);
  if ((kind & LV_AREA_NO_HIGH_HALF) != 0 && start < HIGH_HALF && start + length > HIGH_HALF) {
    munmap(block, length);
    return nullptr;
  }
  *actual = length;
  return block;
}

int lv_os_virtual_free(void* block, uint64_t size) { return munmap(block, size) == 0 ? 0 : 1; }

uint64_t lv_os_avail_virtual() {
  uint64_t total = USER_ADDRESS_SPACE;
  rlimit limit;
  if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < total)
    total = limit.rlim_cur;
  uint64_t used = mapped_bytes();
  return used < total ? total - used : 0;
}
