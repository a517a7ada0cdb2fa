// MD5 message digests (RFC 1321), for $message_digest/3.
#pragma once

#include <cstddef>
#include <cstdint>

struct lv_md5 {
  uint32_t state[4];
  uint64_t bytes;        // bytes added so far
  uint8_t block[64];     // the part of the current 64-byte block added so far
};

void lv_md5_init(lv_md5* m);
void lv_md5_add(lv_md5* m, const uint8_t* data, size_t n);
// The 16 digest bytes; the state is spent.
void lv_md5_finish(lv_md5* m, uint8_t digest[16]);
