// The library that holds an address, and symbols looked up in libraries.
#include "lvio/shared_library.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <zlib.h>

namespace {

void in_the_program() {}

TEST(SharedLibraries, TheModuleOfAnAddress) {
  void* zlib = nullptr;
  ASSERT_EQ(lvio_module_handle(reinterpret_cast<const void*>(&zlibVersion), &zlib), 0);
  EXPECT_EQ(dlsym(zlib, "deflate"), reinterpret_cast<void*>(&deflate));
  void* program = nullptr;
  ASSERT_EQ(lvio_module_handle(reinterpret_cast<const void*>(&in_the_program), &program), 0);
  EXPECT_NE(program, nullptr);
  EXPECT_NE(program, zlib);
  int on_the_stack = 0;
  void* none = nullptr;
  EXPECT_EQ(lvio_module_handle(&on_the_stack, &none), LVIO_E_FILE_NOT_FOUND);
  EXPECT_EQ(none, nullptr);
}

TEST(SharedLibraries, SymbolsByLibraryPathOrModule) {
  void* function = nullptr;
  void* module = nullptr;
  // By path: the library is loaded (here: found loaded already) and kept.
  ASSERT_EQ(lvio_library_symbol("zlibVersion", "libz.so.1", &function, &module), 0);
  EXPECT_EQ(function, reinterpret_cast<void*>(&zlibVersion));
  ASSERT_NE(module, nullptr);
  // By the module in the slot: the path is not looked at.
  function = nullptr;
  ASSERT_EQ(lvio_library_symbol("inflate", "/no/such/library.so", &function, &module), 0);
  EXPECT_EQ(function, reinterpret_cast<void*>(&inflate));
  EXPECT_EQ(lvio_library_symbol("no_such_function", nullptr, &function, &module), LVIO_E_NOT_FOUND);
  EXPECT_EQ(function, reinterpret_cast<void*>(&inflate));  // untouched
  // Without a module slot.
  function = nullptr;
  ASSERT_EQ(lvio_library_symbol("deflate", "libz.so.1", &function, nullptr), 0);
  EXPECT_EQ(function, reinterpret_cast<void*>(&deflate));
  EXPECT_EQ(lvio_library_symbol("no_such_function", "libz.so.1", &function, nullptr), LVIO_E_NOT_FOUND);
  EXPECT_EQ(lvio_library_symbol("deflate", "/no/such/library.so", &function, nullptr), LVIO_E_FILE_NOT_FOUND);
  void* empty = nullptr;
  EXPECT_EQ(lvio_library_symbol("deflate", "/no/such/library.so", &function, &empty), LVIO_E_FILE_NOT_FOUND);
  EXPECT_EQ(empty, nullptr);
  EXPECT_EQ(lvio_library_symbol("deflate", nullptr, &function, &empty), LVIO_E_PARAMETER_ERROR);
}

TEST(SharedLibraries, ALibraryLoadedForAMissingSymbolGoesToTheSlot) {
  void* module = nullptr;
  void* function = nullptr;
  ASSERT_EQ(lvio_library_symbol("no_such_function", "libz.so.1", &function, &module), LVIO_E_NOT_FOUND);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(lvio_library_symbol("crc32", nullptr, &function, &module), 0);
  EXPECT_EQ(function, reinterpret_cast<void*>(&crc32));
  dlclose(module);
}

}  // namespace
