// Result codes of the I/O layer. Every lvio operation returns a signed 64-bit
// code: negative values are errors (LVIO_E_*), 0 and above are successes.
#pragma once

#include <cstdint>

// The layer's functions that return a code are [[nodiscard]], except those
// that always return 0 and the mutex lock and unlock; a caller that drops a
// code writes (void), with the reason where it is not plain.
typedef int64_t lvio_code;

constexpr lvio_code LVIO_E_END_OF_FILE = -1;
constexpr lvio_code LVIO_E_ERROR = -10001;
constexpr lvio_code LVIO_E_OUT_OF_MEMORY = -10003;
constexpr lvio_code LVIO_E_PARAMETER_ERROR = -10004;
constexpr lvio_code LVIO_E_VERSION_ERROR = -10005;
constexpr lvio_code LVIO_E_NOT_IMPLEMENTED = -10006;
constexpr lvio_code LVIO_E_NOT_SUPPORTED = -10007;
constexpr lvio_code LVIO_E_NOT_FOUND = -10008;
constexpr lvio_code LVIO_E_FOUND = -10009;
constexpr lvio_code LVIO_E_NOT_READ = -10010;
constexpr lvio_code LVIO_E_NOT_WRITE = -10011;
constexpr lvio_code LVIO_E_NOT_OPEN_READ = -10012;
constexpr lvio_code LVIO_E_NOT_OPEN_WRITE = -10013;
constexpr lvio_code LVIO_E_INTERRUPTED = -10014;
constexpr lvio_code LVIO_E_IMPOSSIBLE_ERROR = -10015;
constexpr lvio_code LVIO_E_INTERNAL_ERROR = -10016;
constexpr lvio_code LVIO_E_OS_ERROR = -10017;
constexpr lvio_code LVIO_E_TIMEOUT = -10018;
constexpr lvio_code LVIO_E_WOULD_BLOCK = -10019;
constexpr lvio_code LVIO_E_PERMISSION_ERROR = -10020;
constexpr lvio_code LVIO_E_NO_MORE_ENTRIES = -10021;
constexpr lvio_code LVIO_E_IO_ERROR = -10022;
constexpr lvio_code LVIO_E_INVALID_STATE = -10023;
constexpr lvio_code LVIO_E_SHUTDOWN = -10024;
constexpr lvio_code LVIO_E_LAYER_ = -10100;
constexpr lvio_code LVIO_E_OPEN_ERROR = -10101;
constexpr lvio_code LVIO_E_READ_ERROR = -10102;
constexpr lvio_code LVIO_E_WRITE_ERROR = -10103;
constexpr lvio_code LVIO_E_SEEK_ERROR = -10104;
constexpr lvio_code LVIO_E_CLOSE_ERROR = -10105;
constexpr lvio_code LVIO_E_SYNC_ERROR = -10106;
constexpr lvio_code LVIO_E_PUSH_ERROR = -10107;
constexpr lvio_code LVIO_E_TOO_MANY_OPEN_FILES = -10108;
constexpr lvio_code LVIO_E_OVERFLOW = -10109;
constexpr lvio_code LVIO_E_CHAR_CODER_ = -10200;
constexpr lvio_code LVIO_E_GRANULARITY_ERROR = -10201;
constexpr lvio_code LVIO_E_NOT_ENOUGH_DATA = -10202;
constexpr lvio_code LVIO_E_SYNTAX_ERROR = -10203;
constexpr lvio_code LVIO_E_ENCODING_UNMAPPABLE = -10204;
constexpr lvio_code LVIO_E_ENCODING_INVALID = -10205;
constexpr lvio_code LVIO_E_CHARSET_NOT_FOUND = -10206;
constexpr lvio_code LVIO_E_THREAD_ = -10300;
constexpr lvio_code LVIO_E_THREAD_ERROR = -10301;
constexpr lvio_code LVIO_E_THREAD_RUNNING = -10302;
constexpr lvio_code LVIO_E_AIO_ = -10400;
constexpr lvio_code LVIO_E_AIO_ERROR = -10401;
constexpr lvio_code LVIO_E_AIO_INPROGRESS = -10402;
constexpr lvio_code LVIO_E_CANCELED = -10403;
constexpr lvio_code LVIO_E_AIO_EROFS = -10404;
constexpr lvio_code LVIO_E_AIO_EINVAL = -10405;
constexpr lvio_code LVIO_E_FILE_ = -10500;
constexpr lvio_code LVIO_E_FILE_NOT_FOUND = -10501;
constexpr lvio_code LVIO_E_FILE_ACCESS = -10502;
constexpr lvio_code LVIO_E_FILE_IS_DIRECTORY = -10503;
constexpr lvio_code LVIO_E_FILE_NOT_DIRECTORY = -10504;
constexpr lvio_code LVIO_E_FILE_NOT_ABSOLUTE = -10505;
constexpr lvio_code LVIO_E_FILE_EXISTS = -10506;
constexpr lvio_code LVIO_E_DIR_NOT_EMPTY = -10507;
constexpr lvio_code LVIO_E_INVALID_NAME = -10508;
constexpr lvio_code LVIO_E_NOSPACE = -10509;
constexpr lvio_code LVIO_E_NET_ERROR = -10600;
constexpr lvio_code LVIO_E_NET_CONNREFUSED = -10601;
constexpr lvio_code LVIO_E_NET_ADDRINUSE = -10602;
constexpr lvio_code LVIO_E_NET_CONNRESET = -10603;
constexpr lvio_code LVIO_E_NET_TIMEDOUT = -10604;
constexpr lvio_code LVIO_E_NET_HOST_NOT_FOUND = -10605;
constexpr lvio_code LVIO_E_MISC_ERROR_0 = -20000;
constexpr lvio_code LVIO_E_MISC_ERROR_1 = -20001;
constexpr lvio_code LVIO_E_MISC_ERROR_6 = -20006;
constexpr lvio_code LVIO_E_PRIVATE_ERROR_0 = -30000;
constexpr lvio_code LVIO_E_PRIVATE_ERROR_6 = -30006;

constexpr lvio_code LVIO_S_NOERR = 0;
constexpr lvio_code LVIO_S_OPERATION_FAILED = 1;
constexpr lvio_code LVIO_S_DEALLOCATED = 2;
constexpr lvio_code LVIO_S_NOT_SUPPORTED = 3;
constexpr lvio_code LVIO_S_DONE = 4;
constexpr lvio_code LVIO_S_SUPPRESSED_INTERRUPT = 5;
constexpr lvio_code LVIO_S_NORMALIZED = 6;
constexpr lvio_code LVIO_S_PRIVATE_ERROR_0 = 30000;
constexpr lvio_code LVIO_S_PRIVATE_ERROR_6 = 30006;

// The name of a result code ("LVIO_E_..." or "LVIO_S_..."), or
// "(unknown LVIO error)" / "(unknown LVIO success)". The text is static.
const char* lvio_error_name_of(lvio_code code);
