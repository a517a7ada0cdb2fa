// Child processes on posix_spawn and pidfds.
#include "lvio/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "lvio/allocator.h"
#include "lvio/buffer.h"
#include "lvio/environment.h"
#include "lvio/event.h"
#include "lvio/event_wait.h"
#include "lvio/os_error.h"
#include "lvio/sync.h"

extern char** environ;

struct lvio_process {
  pid_t pid;
  int pidfd;
  bool ended;  // the status below is known
  lvio_wait_result status;
};

namespace {

// Children released while they still ran, reaped once they have ended.
struct unreaped {
  pid_t pid;
  int pidfd;
};
lvio_mutex unreaped_mutex = LVIO_MUTEX_STATIC_INIT;
unreaped* unreaped_list;
size_t unreaped_count;

int pidfd_open(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

bool pidfd_ended(int pidfd) {
  pollfd p = {pidfd, POLLIN, 0};
  int n;
  do n = poll(&p, 1, 0);
  while (n < 0 && errno == EINTR);
  return n > 0;
}

// Reaps the released children that have ended.
void reap_released() {
  lvio_mutex_lock(&unreaped_mutex);
  size_t kept = 0;
  for (size_t i = 0; i < unreaped_count; i++) {
    unreaped u = unreaped_list[i];
    siginfo_t info = {};
    if (pidfd_ended(u.pidfd)) {
      waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(u.pidfd), &info, WEXITED | WNOHANG);
      close(u.pidfd);
    } else {
      unreaped_list[kept++] = u;
    }
  }
  unreaped_count = kept;
  if (kept == 0) {
    lvio_free(unreaped_list);
    unreaped_list = nullptr;
  }
  lvio_mutex_unlock(&unreaped_mutex);
}

bool keep_unreaped(pid_t pid, int pidfd) {
  lvio_mutex_lock(&unreaped_mutex);
  auto* grown = static_cast<unreaped*>(lvio_realloc(unreaped_list, (unreaped_count + 1) * sizeof(unreaped)));
  if (grown != nullptr) {
    unreaped_list = grown;
    unreaped_list[unreaped_count++] = {pid, pidfd};
  }
  lvio_mutex_unlock(&unreaped_mutex);
  return grown != nullptr;
}

// Reads the status of an ended child and reaps it: the handle keeps the
// status and lets its pidfd go, so that a child waited for leaves neither a
// zombie nor a descriptor behind. 0, or LVIO_E_NOT_SUPPORTED for a process
// that is not a child of this one.
lvio_code read_status(lvio_process* p) {
  siginfo_t info = {};
  int rc;
  do rc = waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(p->pidfd), &info, WEXITED | WNOHANG);
  while (rc != 0 && errno == EINTR);
  if (rc != 0) return errno == ECHILD ? LVIO_E_NOT_SUPPORTED : lvio_os_error_code(errno, LVIO_E_OS_ERROR);
  if (info.si_pid == 0) return LVIO_E_INTERNAL_ERROR;  // the pidfd said it had ended
  int32_t code = info.si_code == CLD_EXITED ? info.si_status : -info.si_status;
  p->status = {1, code};
  p->ended = true;
  close(p->pidfd);
  p->pidfd = -1;
  return 0;
}

// Text of an argument: its parts joined.
lvio_code join_parts(lvio_arg_descriptor parts, char** out) {
  lvio_buffer* b = lvio_buffer_create(nullptr, 0, 0);
  if (b == nullptr) return LVIO_E_OUT_OF_MEMORY;
  lvio_code rc = 0;
  for (const lvio_arg_part* part = parts; rc >= 0 && part->kind != nullptr; part++) {
    if (std::strcmp(part->kind, "string") != 0 && std::strcmp(part->kind, "file") != 0)
      rc = LVIO_E_PARAMETER_ERROR;
    else if (part->text == nullptr)
      rc = LVIO_E_PARAMETER_ERROR;
    else
      rc = lvio_buffer_append_string(b, part->text);
  }
  if (rc >= 0) rc = lvio_buffer_append_byte(b, '\0');
  uint8_t* data = nullptr;
  uint64_t length;
  if (rc >= 0) rc = lvio_buffer_take(b, &data, &length);
  lvio_buffer_free(b);
  if (rc < 0) return rc;
  *out = reinterpret_cast<char*>(data);
  return 0;
}

size_t count_of(const lvio_arg_descriptor* list) {
  size_t n = 0;
  if (list != nullptr)
    while (list[n] != nullptr) n++;
  return n;
}

// Texts made for one start, freed together.
struct text_list {
  char** items = nullptr;
  size_t count = 0;

  lvio_code open(size_t n) {
    items = static_cast<char**>(lvio_alloc((n + 1) * sizeof(char*)));
    if (items == nullptr) return LVIO_E_OUT_OF_MEMORY;
    items[0] = nullptr;
    return 0;
  }
  void add(char* text) {
    items[count++] = text;
    items[count] = nullptr;
  }
  void free_all() {
    for (size_t i = 0; i < count; i++) lvio_free(items[i]);
    lvio_free(items);
    items = nullptr;
    count = 0;
  }
};

lvio_code join_all(const lvio_arg_descriptor* list, text_list* texts) {
  size_t n = count_of(list);
  lvio_code rc = texts->open(n);
  for (size_t i = 0; rc >= 0 && i < n; i++) {
    char* text;
    rc = join_parts(list[i], &text);
    if (rc >= 0) texts->add(text);
  }
  return rc;
}

// The child's argument vector and the path to run.
struct command {
  char** argv = nullptr;  // one lvio_alloc block, or the texts' array
  char* path = nullptr;   // for a program given as a path
  bool search = false;    // look the first argument up on PATH
  text_list owned;        // texts argv points to, when it is no block
  void free_all() {
    if (owned.items != nullptr) {
      owned.free_all();
    } else {
      lvio_free(argv);
    }
    lvio_free(path);
  }
};

// A path made absolute against the working directory.
lvio_code absolute_path(const char* program, char** out) {
  if (program[0] == '/') {
    *out = lvio_strdup(program);
    return *out != nullptr ? 0 : LVIO_E_OUT_OF_MEMORY;
  }
  char* cwd = get_current_dir_name();
  if (cwd == nullptr) return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
  size_t a = std::strlen(cwd);
  size_t b = std::strlen(program);
  auto* path = static_cast<char*>(lvio_alloc(a + b + 2));
  if (path != nullptr) {
    std::memcpy(path, cwd, a);
    path[a] = '/';
    std::memcpy(path + a + 1, program, b + 1);
  }
  free(cwd);
  if (path == nullptr) return LVIO_E_OUT_OF_MEMORY;
  *out = path;
  return 0;
}

lvio_code build_command(const char* program, const lvio_arg_descriptor* arguments, uint32_t flags, command* cmd) {
  text_list args;
  lvio_code rc = join_all(arguments, &args);
  if (rc < 0) {
    args.free_all();
    return rc;
  }
  if ((flags & LVIO_PROCESS_COMMAND_LINE) == 0) {
    rc = cmd->owned.open(args.count + 1);
    char* first = rc >= 0 ? lvio_strdup(program) : nullptr;
    if (rc >= 0 && first == nullptr) rc = LVIO_E_OUT_OF_MEMORY;
    if (rc >= 0) {
      cmd->owned.add(first);
      for (size_t i = 0; i < args.count; i++) cmd->owned.add(args.items[i]);
      lvio_free(args.items);
      args.items = nullptr;
      args.count = 0;
      cmd->argv = cmd->owned.items;
      rc = absolute_path(program, &cmd->path);
    }
    args.free_all();
    return rc;
  }
  // The command line with the arguments added, quoted, then split again.
  lvio_buffer* line = lvio_buffer_create(nullptr, 0, 0);
  if (line == nullptr) rc = LVIO_E_OUT_OF_MEMORY;
  if (rc >= 0) rc = lvio_buffer_append_string(line, program);
  for (size_t i = 0; rc >= 0 && i < args.count; i++) {
    char* quoted = nullptr;
    rc = lvio_quote_argument(args.items[i], &quoted);
    if (rc >= 0) rc = lvio_buffer_append_byte(line, ' ');
    if (rc >= 0) rc = lvio_buffer_append_string(line, quoted != nullptr ? quoted : args.items[i]);
    lvio_free(quoted);
  }
  if (rc >= 0) rc = lvio_buffer_append_byte(line, '\0');
  if (rc >= 0) rc = lvio_split_command_line(reinterpret_cast<char*>(line->data), &cmd->argv);
  lvio_buffer_free(line);
  args.free_all();
  if (rc < 0) return rc;
  if (cmd->argv[0] == nullptr) return LVIO_E_PARAMETER_ERROR;
  if (std::strchr(cmd->argv[0], '/') == nullptr) {
    cmd->search = true;
    return 0;
  }
  return absolute_path(cmd->argv[0], &cmd->path);
}

// The child's environment as NAME=VALUE texts in one block, or null to
// inherit the process environment.
lvio_code build_environment(const lvio_arg_descriptor* environment, uint32_t flags, char*** block) {
  *block = nullptr;
  size_t n = count_of(environment);
  if (n % 2 != 0) return LVIO_E_PARAMETER_ERROR;
  if ((flags & LVIO_PROCESS_ENVIRONMENT) == 0) return 0;
  if ((flags & LVIO_PROCESS_ENVIRONMENT_ONLY_PAIRS) != 0 && n == 0) return LVIO_E_PARAMETER_ERROR;
  text_list pairs;
  lvio_code rc = join_all(environment, &pairs);
  // Each pair as one "NAME=VALUE" text, packed as entries.
  text_list settings;
  if (rc >= 0) rc = settings.open(n / 2);
  for (size_t i = 0; rc >= 0 && i < n; i += 2) {
    const char* name = pairs.items[i];
    const char* value = pairs.items[i + 1];
    if (name[0] == '\0' || std::strchr(name, '=') != nullptr) {
      rc = LVIO_E_PARAMETER_ERROR;
      break;
    }
    size_t a = std::strlen(name);
    size_t b = std::strlen(value);
    auto* text = static_cast<char*>(lvio_alloc(a + b + 2));
    if (text == nullptr) {
      rc = LVIO_E_OUT_OF_MEMORY;
      break;
    }
    std::memcpy(text, name, a);
    text[a] = '=';
    std::memcpy(text + a + 1, value, b + 1);
    settings.add(text);
  }
  pairs.free_all();
  char** packed = nullptr;
  if (rc >= 0) rc = lvio_environment_pack(settings.items, &packed, nullptr, 1);
  settings.free_all();
  char** base = nullptr;
  if (rc >= 0 && (flags & LVIO_PROCESS_ENVIRONMENT_ONLY_PAIRS) == 0) rc = lvio_environment_build(&base, nullptr, 16);
  // The pairs come first, so that they win over a setting of the same name.
  if (rc >= 0) rc = lvio_environment_merge(packed, 0, base, 0, block, nullptr, 8);
  lvio_free(packed);
  lvio_free(base);
  return rc;
}

// A descriptor numbered 3 or higher: a standard descriptor that the parent
// had closed must not be taken for the child's own.
lvio_code lift(int* fd) {
  if (*fd > 2) return 0;
  int lifted = fcntl(*fd, F_DUPFD_CLOEXEC, 3);
  if (lifted < 0) return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
  close(*fd);
  *fd = lifted;
  return 0;
}

void close_if_open(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

// What the child gets as one standard stream.
struct redirection {
  int child = -1;   // the descriptor put in place as the stream, closed after the start
  int parent = -1;  // the parent's end of a pipe
};

lvio_code prepare_stream(int number, uint32_t choice, redirection* r, posix_spawn_file_actions_t* actions) {
  int rc = 0;
  if (choice == 1) {
    int fd_flags = fcntl(number, F_GETFD);
    if (fd_flags < 0 || (fd_flags & FD_CLOEXEC) == 0) return 0;  // not open, or inherited as it is
    // A close-on-exec standard descriptor is handed over as a copy.
    r->child = fcntl(number, F_DUPFD_CLOEXEC, 3);
    if (r->child < 0) return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
  } else if (choice == 2) {
    r->child = open("/dev/null", (number == 0 ? O_RDONLY : O_WRONLY) | O_CLOEXEC);
    if (r->child < 0) return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
  } else if (choice == 4) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
    r->child = number == 0 ? ends[0] : ends[1];
    r->parent = number == 0 ? ends[1] : ends[0];
    lvio_code lifted = lift(&r->parent);
    if (lifted < 0) return lifted;
  } else {
    return choice == 0 ? LVIO_E_INTERNAL_ERROR : LVIO_E_PARAMETER_ERROR;
  }
  lvio_code lifted = lift(&r->child);
  if (lifted < 0) return lifted;
  rc = posix_spawn_file_actions_adddup2(actions, r->child, number);
  return rc == 0 ? 0 : lvio_os_error_code(rc, LVIO_E_OS_ERROR);
}

lvio_code spawn(const command& cmd, const char* directory, char** envp, uint32_t flags, redirection* streams,
                pid_t* pid) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  int error = posix_spawn_file_actions_init(&actions);
  if (error != 0) return lvio_os_error_code(error, LVIO_E_OS_ERROR);
  error = posix_spawnattr_init(&attr);
  if (error != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return lvio_os_error_code(error, LVIO_E_OS_ERROR);
  }
  lvio_code rc = 0;
  for (int i = 0; i < 3 && rc >= 0; i++) rc = prepare_stream(i, (flags >> (3 * i)) & 7, &streams[i], &actions);
  if (rc >= 0 && directory != nullptr) {
    error = posix_spawn_file_actions_addchdir_np(&actions, directory);
    if (error != 0) rc = lvio_os_error_code(error, LVIO_E_OS_ERROR);
  }
  if (rc >= 0) {
    // The layer blocks signals in its threads and ignores SIGPIPE; the child
    // starts afresh with none blocked and every one at its default action.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    short attr_flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if ((flags & LVIO_PROCESS_NEW_SESSION) != 0)
      attr_flags |= POSIX_SPAWN_SETSID;
    else if ((flags & LVIO_PROCESS_NEW_GROUP) != 0)
      attr_flags |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, attr_flags);
    char** env = envp != nullptr ? envp : environ;
    error = cmd.search ? posix_spawnp(pid, cmd.argv[0], &actions, &attr, cmd.argv, env)
                       : posix_spawn(pid, cmd.path, &actions, &attr, cmd.argv, env);
    if (error != 0) rc = lvio_os_error_code(error, LVIO_E_OS_ERROR);
  }
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return rc;
}

}  // namespace

lvio_code lvio_process_create(const char* program, const lvio_arg_descriptor* arguments, const char* directory,
                              const lvio_arg_descriptor* environment, int* in, int* out, int* err,
                              lvio_process** process, uint32_t flags) {
  reap_released();
  command cmd;
  char** envp = nullptr;
  lvio_code rc = build_command(program, arguments, flags, &cmd);
  if (rc >= 0) rc = build_environment(environment, flags, &envp);
  auto* p = rc >= 0 ? static_cast<lvio_process*>(lvio_alloc(sizeof(lvio_process))) : nullptr;
  if (rc >= 0 && p == nullptr) rc = LVIO_E_OUT_OF_MEMORY;
  redirection streams[3];
  pid_t pid = -1;
  if (rc >= 0) rc = spawn(cmd, directory, envp, flags, streams, &pid);
  cmd.free_all();
  lvio_free(envp);
  for (redirection& r : streams) close_if_open(&r.child);
  if (rc >= 0) {
    *p = {pid, pidfd_open(pid), false, {0, 0}};
    if (p->pidfd < 0) {
      // Without a pidfd the child cannot be waited for: it goes again.
      rc = lvio_os_error_code(errno, LVIO_E_OS_ERROR);
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  if (rc < 0) {
    for (redirection& r : streams) close_if_open(&r.parent);
    lvio_free(p);
    return rc;
  }
  if (in != nullptr) *in = streams[0].parent;
  if (out != nullptr) *out = streams[1].parent;
  if (err != nullptr) *err = streams[2].parent;
  if (process != nullptr)
    *process = p;
  else
    (void)lvio_process_release(p, 0);
  return 0;
}

lvio_code lvio_process_kill(lvio_process* process, int32_t signal, uint32_t flags) {
  int sig;
  if ((flags & 1) != 0)
    sig = SIGKILL;
  else if (signal == 15)
    sig = SIGTERM;
  else if (signal == 22)
    sig = SIGABRT;
  else
    return LVIO_E_NOT_SUPPORTED;
  if (process->pidfd < 0) return LVIO_E_NOT_FOUND;  // waited for and reaped
  if (syscall(SYS_pidfd_send_signal, process->pidfd, sig, nullptr, 0) == 0) return 0;
  return errno == ESRCH ? LVIO_E_NOT_FOUND : lvio_os_error_code(errno, LVIO_E_OS_ERROR);
}

lvio_code lvio_process_wait(lvio_process* process, const lvio_time* timeout, lvio_wait_result* result, uint32_t flags) {
  reap_released();
  lvio_code rc = 0;
  if (!process->ended && !pidfd_ended(process->pidfd)) {
    if ((flags & 1) != 0) return LVIO_E_TIMEOUT;
    lvio_event* exit;
    rc = lvio_event_from_handle(process->pidfd, 0, &exit);
    if (rc < 0) return rc;
    rc = lvio_event_wait(&exit, 1, timeout);
    lvio_event_release(exit);
    if (rc < 0) return rc;
  }
  if (!process->ended) rc = read_status(process);
  if (rc == LVIO_E_NOT_SUPPORTED) *result = {1, 0};
  if (rc < 0) return rc;
  *result = process->status;
  if ((flags & 2) != 0) (void)lvio_process_release(process, 0);
  return 0;
}

lvio_code lvio_process_release(lvio_process* process, uint32_t) {
  if (process == nullptr) return 0;
  if (process->pidfd < 0) {  // waited for and reaped already
    lvio_free(process);
    return 0;
  }
  siginfo_t info = {};
  auto id = static_cast<id_t>(process->pidfd);
  if (pidfd_ended(process->pidfd)) {
    // ECHILD for a process that is not a child: nothing to reap.
    waitid(static_cast<idtype_t>(P_PIDFD), id, &info, WEXITED | WNOHANG);
  } else if (waitid(static_cast<idtype_t>(P_PIDFD), id, &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
             keep_unreaped(process->pid, process->pidfd)) {
    // A running child: reaped once it has ended; the list keeps its pidfd.
    process->pidfd = -1;
  }
  if (process->pidfd >= 0) close(process->pidfd);
  lvio_free(process);
  return 0;
}

lvio_code lvio_process_id(lvio_process* process, uint32_t* id) {
  *id = static_cast<uint32_t>(process->pid);
  return 0;
}

lvio_code lvio_process_current_id(uint32_t* id) {
  *id = static_cast<uint32_t>(getpid());
  return 0;
}

lvio_code lvio_process_open(uint32_t id, lvio_process** process) {
  if (id == 0 || id > static_cast<uint32_t>(INT32_MAX)) return LVIO_E_NOT_FOUND;
  int pidfd = pidfd_open(static_cast<pid_t>(id));
  if (pidfd < 0) return errno == ESRCH ? LVIO_E_NOT_FOUND : lvio_os_error_code(errno, LVIO_E_OS_ERROR);
  auto* p = static_cast<lvio_process*>(lvio_alloc(sizeof(lvio_process)));
  if (p == nullptr) {
    close(pidfd);
    return LVIO_E_OUT_OF_MEMORY;
  }
  *p = {static_cast<pid_t>(id), pidfd, false, {0, 0}};
  *process = p;
  return 0;
}

lvio_code lvio_process_environment_module(uint32_t flags) {
  if ((flags & 1) == 0) return lvio_environment_module(flags);
  reap_released();
  // Children still running at the stop are left to run; their pidfds go.
  lvio_mutex_lock(&unreaped_mutex);
  for (size_t i = 0; i < unreaped_count; i++) close(unreaped_list[i].pidfd);
  lvio_free(unreaped_list);
  unreaped_list = nullptr;
  unreaped_count = 0;
  lvio_mutex_unlock(&unreaped_mutex);
  return lvio_environment_module(flags);
}
