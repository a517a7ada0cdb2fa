// Test support: runs the console program with arguments and scripted input,
// on pipes or on a pseudo-terminal, and collects what it writes and its exit
// code. Nothing waits for a duration: on a pipe the whole input is written
// and closed at once; on a terminal each line is sent once the program has
// asked for it (one more prompt has appeared), and end of file is Ctrl-D.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

namespace console {

struct result {
  std::string out;  // standard output; on a terminal everything it shows
  std::string err;  // standard error (pipes only)
  int exit_code = -1;
};

inline std::vector<char*> argv_of(const std::string& program, std::vector<std::string>& args) {
  std::vector<char*> v;
  v.push_back(const_cast<char*>(program.c_str()));
  for (auto& a : args) v.push_back(a.data());
  v.push_back(nullptr);
  return v;
}

inline int wait_exit(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

inline result run_on_pipes(const std::string& program, std::vector<std::string> args, const std::string& input) {
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return {};
  auto argv = argv_of(program, args);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  size_t written = 0;
  while (written < input.size()) {
    ssize_t n = write(in[1], input.data() + written, input.size() - written);
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  close(in[1]);
  result r;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* into[2] = {&r.out, &r.err};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; i++) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        into[i]->append(buffer, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        open--;
      }
    }
  }
  r.exit_code = wait_exit(pid);
  return r;
}

inline size_t count_prompts(const std::string& text) {
  size_t n = 0;
  for (const char* marker : {"| ?- ", " ? "})
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) n++;
  return n;
}

// Reads what the terminal shows until it holds more than `prompts` prompts
// or the program has closed it; false at the end.
inline bool read_until_prompt(int master, std::string& shown, size_t prompts) {
  while (count_prompts(shown) <= prompts) {
    char buffer[4096];
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    shown.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

// Starts the program on a new pseudo-terminal; master is its controlling
// side. Returns the child's id, or -1.
inline pid_t start_on_terminal(const std::string& program, std::vector<std::string> args, int& master) {
  auto argv = argv_of(program, args);
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

// Reads what the program still shows until it closes the terminal, then
// collects its exit code.
inline void finish_on_terminal(int master, pid_t pid, result& r) {
  for (;;) {
    char buffer[4096];
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    r.out.append(buffer, static_cast<size_t>(n));
  }
  close(master);
  r.exit_code = wait_exit(pid);
}

inline result run_on_terminal(const std::string& program, std::vector<std::string> args,
                              const std::vector<std::string>& lines, bool end_of_file) {
  int master = -1;
  pid_t pid = start_on_terminal(program, args, master);
  result r;
  if (pid < 0) return r;
  size_t prompts = 0;
  bool open = true;
  for (const auto& line : lines) {
    if (!(open = read_until_prompt(master, r.out, prompts))) break;
    prompts = count_prompts(r.out);
    std::string text = line + "\n";
    if (write(master, text.data(), text.size()) != static_cast<ssize_t>(text.size())) break;
  }
  if (open && end_of_file && read_until_prompt(master, r.out, prompts)) {
    char eof = 4;  // Ctrl-D at the start of a line
    (void)write(master, &eof, 1);
  }
  finish_on_terminal(master, pid, r);
  return r;
}

// A terminal session as steps: wait until the terminal shows the text
// (after what the previous step waited for), then type the keys or send
// the signal.
struct step {
  std::string wait_for;
  std::string keys;
  int signal = 0;  // sent to the program instead of typing, when nonzero
};

inline result run_terminal_script(const std::string& program, std::vector<std::string> args,
                                  const std::vector<step>& steps) {
  int master = -1;
  pid_t pid = start_on_terminal(program, args, master);
  result r;
  if (pid < 0) return r;
  size_t from = 0;
  bool open = true;
  for (const auto& s : steps) {
    size_t found;
    while (open && (found = r.out.find(s.wait_for, from)) == std::string::npos) {
      char buffer[4096];
      ssize_t n = read(master, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) open = false;
      else r.out.append(buffer, static_cast<size_t>(n));
    }
    if (!open) break;
    from = found + s.wait_for.size();
    if (s.signal != 0) kill(pid, s.signal);
    else if (write(master, s.keys.data(), s.keys.size()) != static_cast<ssize_t>(s.keys.size())) break;
  }
  finish_on_terminal(master, pid, r);
  return r;
}

// The same on pipes: each step waits until standard output and standard
// error together show the text, then writes the keys or sends the signal;
// after the last step standard input is closed and the rest collected.
inline result run_pipe_script(const std::string& program, std::vector<std::string> args,
                              const std::vector<step>& steps) {
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return {};
  auto argv = argv_of(program, args);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  result r;
  std::string both;  // what the two pipes showed, in the order read
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* into[2] = {&r.out, &r.err};
  int open = 2;
  // Reads what is there, waiting for some; false once both pipes are closed.
  auto read_some = [&]() {
    if (open == 0) return false;
    if (poll(fds, 2, -1) < 0) return errno == EINTR;
    for (int i = 0; i < 2; i++) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        into[i]->append(buffer, static_cast<size_t>(n));
        both.append(buffer, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        open--;
      }
    }
    return true;
  };
  size_t from = 0;
  for (const auto& s : steps) {
    size_t found;
    bool live = true;
    while ((found = both.find(s.wait_for, from)) == std::string::npos)
      if (!(live = read_some())) break;
    if (!live) break;
    from = found + s.wait_for.size();
    if (s.signal != 0) kill(pid, s.signal);
    else if (write(in[1], s.keys.data(), s.keys.size()) != static_cast<ssize_t>(s.keys.size())) break;
  }
  close(in[1]);
  while (read_some()) {
  }
  r.exit_code = wait_exit(pid);
  return r;
}

}  // namespace console
