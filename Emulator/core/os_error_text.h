// The operating system's text for an error number.
#pragma once

// A process-wide 128-byte buffer holding the system's message for the error
// number, cut to at most 127 bytes at a character boundary; "Last error ==
// 0x..." when there is no usable text. Overwritten by the next call.
const char* lv_win32_error_text(int os_error);
