// Child processes: arguments, standard streams, environment, exit status,
// signals and waits.
#include "lvio/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "eventually.h"
#include "lvio/allocator.h"
#include "lvio/environment.h"
#include "os_layer_fixture.h"
#include "support/env.h"

namespace {

// Argument descriptors made from strings, each one part of kind "string"
// unless given as {kind, text} parts.
class Args {
 public:
  Args(std::initializer_list<std::vector<lvio_arg_part>> arguments) {
    for (const auto& a : arguments) {
      parts_.push_back(a);
      parts_.back().push_back({nullptr, 1, nullptr});
    }
    for (auto& p : parts_) list_.push_back(p.data());
    list_.push_back(nullptr);
  }
  const lvio_arg_descriptor* get() const { return list_.data(); }

 private:
  std::vector<std::vector<lvio_arg_part>> parts_;
  std::vector<lvio_arg_descriptor> list_;
};

lvio_arg_part str(const char* text) { return {"string", 18, text}; }

constexpr uint32_t PIPE_ALL = LVIO_PROCESS_STDIN_PIPE | LVIO_PROCESS_STDOUT_PIPE | LVIO_PROCESS_STDERR_PIPE;
constexpr uint32_t OUT_ONLY = LVIO_PROCESS_STDIN_NULL | LVIO_PROCESS_STDOUT_PIPE | LVIO_PROCESS_STDERR_INHERIT;

class Processes : public OsLayer {
 protected:
  void TearDown() override {
    for (lvio_process* p : made_) {
      (void)lvio_process_kill(p, 0, 1);
      lvio_wait_result r;
      (void)lvio_process_wait(p, nullptr, &r, 0);
      (void)lvio_process_release(p, 0);
    }
    OsLayer::TearDown();
  }

  // Starts the program with its standard output piped; the output, read to
  // its end, goes to *output, and the exit status is returned.
  lvio_wait_result run(const char* program, const Args& args, std::string* output, uint32_t flags = OUT_ONLY,
                       const lvio_arg_descriptor* environment = nullptr, const char* directory = nullptr) {
    int out = -1;
    lvio_process* p = nullptr;
    lvio_code rc = lvio_process_create(program, args.get(), directory, environment, nullptr, &out, nullptr, &p, flags);
    EXPECT_EQ(rc, 0) << program;
    if (rc < 0) return {-1, -1};
    lvio_layer* chain = nullptr;
    EXPECT_EQ(lvio_open_os_handle(&chain, out, LVIO_ASYNC_READ), 0);
    output->clear();
    for (;;) {
      std::string piece = read_once(&chain, &rc);
      if (rc < 0) break;
      *output += piece;
    }
    EXPECT_EQ(rc, LVIO_E_END_OF_FILE);
    (void)lvio_stream_close(&chain, 0);
    lvio_wait_result result = {0, 0};
    EXPECT_EQ(lvio_process_wait(p, nullptr, &result, 2), 0);
    return result;
  }

  lvio_process* start(const char* program, const Args& args, uint32_t flags = OUT_ONLY) {
    lvio_process* p = nullptr;
    int out = -1;
    EXPECT_EQ(lvio_process_create(program, args.get(), nullptr, nullptr, nullptr, &out, nullptr, &p, flags), 0);
    if (out >= 0) close(out);
    if (p != nullptr) made_.push_back(p);
    return p;
  }

  std::vector<lvio_process*> made_;
};

TEST(ProcessArguments, Quoting) {
  struct {
    const char* text;
    const char* quoted;  // null: used as it stands
  } cases[] = {
      {"plain", nullptr},
      {"back\\slash\\", nullptr},
      {"a b", "\"a b\""},
      {"\"", "\"\\\"\""},
      {"a b\\", "\"a b\\\\\""},
      {"", "\"\""},
      {"tab\there", "\"tab\there\""},
      {"x\\\"y", "\"x\\\\\\\"y\""},
      {"in \\ side", "\"in \\ side\""},
  };
  for (const auto& c : cases) {
    char* quoted = nullptr;
    lvio_code rc = lvio_quote_argument(c.text, &quoted);
    EXPECT_EQ(rc, c.quoted != nullptr ? 1 : 0) << c.text;
    EXPECT_EQ(lvio_quote_argument(c.text, nullptr), rc);
    if (c.quoted != nullptr) {
      EXPECT_STREQ(quoted, c.quoted) << c.text;
    }
    // Quoted, the text splits back into itself.
    char** split = nullptr;
    ASSERT_EQ(lvio_split_command_line(quoted != nullptr ? quoted : c.text, &split), 0);
    ASSERT_NE(split[0], nullptr) << c.text;
    EXPECT_STREQ(split[0], c.text);
    EXPECT_EQ(split[1], nullptr);
    lvio_free(split);
    lvio_free(quoted);
  }
}

TEST(ProcessArguments, SplittingACommandLine) {
  struct {
    const char* line;
    std::vector<std::string> arguments;
  } cases[] = {
      {"", {}},
      {"  a   b\t c ", {"a", "b", "c"}},
      {"\"a b\" c", {"a b", "c"}},
      {"a\\\\b \\\"q\\\"", {"a\\\\b", "\"q\""}},
      {"\"x\\\\\" y", {"x\\", "y"}},
      {"one\"two three\"four", {"onetwo threefour"}},
      {"\"\" \"\"", {"", ""}},
  };
  for (const auto& c : cases) {
    char** split = nullptr;
    ASSERT_EQ(lvio_split_command_line(c.line, &split), 0);
    std::vector<std::string> got;
    for (char** a = split; *a != nullptr; a++) got.push_back(*a);
    EXPECT_EQ(got, c.arguments) << c.line;
    lvio_free(split);
  }
}

TEST_F(Processes, ExitStatus) {
  std::string output;
  lvio_wait_result r = run("/bin/sh", Args{{str("-c")}, {str("echo out; exit 3")}}, &output);
  EXPECT_EQ(output, "out\n");
  EXPECT_EQ(r.exited, 1);
  EXPECT_EQ(r.exit_code, 3);
  // A child ended by a signal reports the signal's number negated.
  r = run("/bin/sh", Args{{str("-c")}, {str("kill -TERM $$")}}, &output);
  EXPECT_EQ(r.exited, 1);
  EXPECT_EQ(r.exit_code, -SIGTERM);
}

TEST_F(Processes, CatThroughThreePipes) {
  int in, out, err;
  lvio_process* p = nullptr;
  ASSERT_EQ(lvio_process_create("/bin/cat", nullptr, nullptr, nullptr, &in, &out, &err, &p, PIPE_ALL), 0);
  made_.push_back(p);
  lvio_layer* to_child = nullptr;
  lvio_layer* from_child = nullptr;
  lvio_layer* errors = nullptr;
  ASSERT_EQ(lvio_open_os_handle(&to_child, in, LVIO_ASYNC_WRITE), 0);
  ASSERT_EQ(lvio_open_os_handle(&from_child, out, LVIO_ASYNC_READ), 0);
  ASSERT_EQ(lvio_open_os_handle(&errors, err, LVIO_ASYNC_READ), 0);
  // More than a pipe holds: cat's output is read while the input is written.
  std::string text;
  for (int i = 0; i < 20000; i++) text += "line " + std::to_string(i) + "\n";
  lvio_code rc;
  ASSERT_EQ(write_text(&to_child, "hello\n"), 0);
  EXPECT_EQ(read_text(&from_child, 6, &rc), "hello\n");
  std::string echoed;
  std::thread reader([&] {
    lvio_code r = 0;
    echoed = read_text(&from_child, text.size(), &r);
  });
  EXPECT_EQ(write_text(&to_child, text), 0);
  reader.join();
  EXPECT_EQ(echoed, text);
  // Closing its input ends cat.
  ASSERT_EQ(lvio_stream_close(&to_child, 0), 0);
  read_once(&from_child, &rc);
  EXPECT_EQ(rc, LVIO_E_END_OF_FILE);
  read_once(&errors, &rc);
  EXPECT_EQ(rc, LVIO_E_END_OF_FILE);
  lvio_wait_result r;
  ASSERT_EQ(lvio_process_wait(p, nullptr, &r, 0), 0);
  EXPECT_EQ(r.exited, 1);
  EXPECT_EQ(r.exit_code, 0);
  (void)lvio_stream_close(&from_child, 0);
  (void)lvio_stream_close(&errors, 0);
}

TEST_F(Processes, KillAndWait) {
  lvio_process* p = start("/bin/sleep", Args{{str("30")}});
  ASSERT_NE(p, nullptr);
  lvio_wait_result r = {7, 7};
  EXPECT_EQ(lvio_process_wait(p, nullptr, &r, 1), LVIO_E_TIMEOUT);
  const lvio_time short_wait = {0, 1000000};
  EXPECT_EQ(lvio_process_wait(p, &short_wait, &r, 0), LVIO_E_TIMEOUT);
  EXPECT_EQ(lvio_process_kill(p, 9, 0), LVIO_E_NOT_SUPPORTED);
  EXPECT_EQ(lvio_process_kill(p, 2, 0), LVIO_E_NOT_SUPPORTED);
  ASSERT_EQ(lvio_process_kill(p, 15, 0), 0);
  ASSERT_EQ(lvio_process_wait(p, nullptr, &r, 0), 0);
  EXPECT_EQ(r.exited, 1);
  EXPECT_EQ(r.exit_code, -SIGTERM);
  // The status stays readable until the handle goes; the child is reaped
  // by the wait (no zombie), and a signal to it finds no process.
  ASSERT_EQ(lvio_process_wait(p, nullptr, &r, 1), 0);
  EXPECT_EQ(r.exit_code, -SIGTERM);
  uint32_t id;
  ASSERT_EQ(lvio_process_id(p, &id), 0);
  EXPECT_EQ(waitpid(static_cast<pid_t>(id), nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  EXPECT_EQ(lvio_process_kill(p, 15, 0), LVIO_E_NOT_FOUND);

  lvio_process* q = start("/bin/sleep", Args{{str("30")}});
  ASSERT_NE(q, nullptr);
  ASSERT_EQ(lvio_process_kill(q, 0, 1), 0);  // flag 1: killed, whatever the number
  ASSERT_EQ(lvio_process_wait(q, nullptr, &r, 0), 0);
  EXPECT_EQ(r.exit_code, -SIGKILL);
}

TEST_F(Processes, AnInterruptEndsAWait) {
  lvio_process* p = start("/bin/sleep", Args{{str("30")}});
  ASSERT_NE(p, nullptr);
  lvio_wait_result r;
  lvio_code rc;
  {
    Interrupter interrupter;
    rc = lvio_process_wait(p, nullptr, &r, 0);
  }
  EXPECT_EQ(rc, LVIO_E_INTERRUPTED);
  EXPECT_EQ(lvio_process_wait(p, nullptr, &r, 1), LVIO_E_TIMEOUT);  // still running
}

TEST_F(Processes, Environment) {
  ScopedEnv env({{"LV_TEST_PROCESS", "process"}, {"LV_TEST_PAIR", nullptr}});
  ASSERT_EQ(lvio_setting_set("LV_TEST_PRIVATE", "private"), 0);
  const char* show = "echo \"$LV_TEST_PRIVATE/$LV_TEST_PROCESS/$LV_TEST_PAIR\"";
  Args script{{str("-c")}, {str(show)}};
  Args pairs{{str("LV_TEST_PAIR")}, {str("pair")}, {str("LV_TEST_PROCESS")}, {str("over"), str("ridden")}};
  std::string output;
  run("/bin/sh", script, &output, OUT_ONLY, pairs.get());
  // Without a built environment the child inherits the process environment:
  // no private setting, and the pairs are not used.
  EXPECT_EQ(output, "/process/\n");
  run("/bin/sh", script, &output, OUT_ONLY | LVIO_PROCESS_ENVIRONMENT, pairs.get());
  EXPECT_EQ(output, "private/overridden/pair\n");
  run("/usr/bin/env", Args{}, &output, OUT_ONLY | LVIO_PROCESS_ENVIRONMENT | LVIO_PROCESS_ENVIRONMENT_ONLY_PAIRS,
      pairs.get());
  EXPECT_EQ(output, "LV_TEST_PAIR=pair\nLV_TEST_PROCESS=overridden\n");

  Args odd{{str("LV_TEST_PAIR")}};
  Args bad_name{{str("A=B")}, {str("x")}};
  Args none{};
  struct {
    const Args* environment;
    uint32_t flags;
  } refused[] = {
      {&odd, LVIO_PROCESS_ENVIRONMENT},
      {&odd, 0},
      {&bad_name, LVIO_PROCESS_ENVIRONMENT},
      {&none, LVIO_PROCESS_ENVIRONMENT | LVIO_PROCESS_ENVIRONMENT_ONLY_PAIRS},
  };
  for (const auto& c : refused) {
    int out = -2;
    EXPECT_EQ(lvio_process_create("/bin/true", nullptr, nullptr, c.environment->get(), nullptr, &out, nullptr, nullptr,
                                  OUT_ONLY | c.flags),
              LVIO_E_PARAMETER_ERROR);
    EXPECT_EQ(out, -2);
  }
}

TEST_F(Processes, DirectoryProgramPathAndCommandLine) {
  std::string output;
  run("/bin/pwd", Args{}, &output, OUT_ONLY, nullptr, "/");
  EXPECT_EQ(output, "/\n");
  // A relative program is taken from the working directory, not from PATH,
  // even when the child's directory is another.
  char* cwd = get_current_dir_name();
  ASSERT_EQ(chdir("/bin"), 0);
  lvio_wait_result r = run("./echo", Args{{str("from"), {"file", 18, "/bin"}}}, &output, OUT_ONLY, nullptr, "/tmp");
  EXPECT_EQ(output, "from/bin\n");
  EXPECT_EQ(r.exit_code, 0);
  ASSERT_EQ(chdir(cwd), 0);
  free(cwd);
  int out = -2;
  EXPECT_EQ(lvio_process_create("echo", nullptr, nullptr, nullptr, nullptr, &out, nullptr, nullptr, OUT_ONLY),
            LVIO_E_FILE_NOT_FOUND);
  EXPECT_EQ(out, -2);
  // A command line is split; its first word is looked for on PATH.
  run("echo \"two  spaces\" \\\"quoted\\\"", Args{{str("a b")}, {str("c\"d")}}, &output,
      OUT_ONLY | LVIO_PROCESS_COMMAND_LINE);
  EXPECT_EQ(output, "two  spaces \"quoted\" a b c\"d\n");
}

TEST_F(Processes, TheChildStartsWithDefaultSignalsAndNoneBlocked) {
  sigset_t block, old;
  sigemptyset(&block);
  sigaddset(&block, SIGINT);
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &block, &old), 0);
  std::string output;
  run("/bin/cat", Args{{str("/proc/self/status")}}, &output);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  auto mask = [&](const std::string& name) {
    size_t at = output.find(name + ":\t");
    return at == std::string::npos ? ~0ull : std::stoull(output.substr(at + name.size() + 2, 16), nullptr, 16);
  };
  EXPECT_EQ(mask("SigBlk"), 0u) << output;
  // The C library keeps its own two signals (32 and 33) ignored in a child
  // it spawns; they are no concern of the program.
  EXPECT_EQ(mask("SigIgn") & ~(3ull << 31), 0u) << output;
  EXPECT_EQ(mask("SigIgn") & (1ull << (SIGPIPE - 1)), 0u) << output;
}

// The descriptors open in this process.
std::set<int> open_descriptors() {
  std::set<int> fds;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) fds.insert(std::stoi(e.path().filename()));
  return fds;
}

TEST_F(Processes, TheChildInheritsNoDescriptorOfTheLayer) {
  std::set<int> before = open_descriptors();
  Pipe pipe;
  lvio_layer* chain = nullptr;
  ASSERT_EQ(lvio_open_os_handle(&chain, pipe.take_read(), LVIO_ASYNC_READ), 0);
  lvio_code rc;
  read_once(&chain, &rc, LVIO_ASYNC_NO_WAIT);  // a worker with its own descriptor runs now
  std::set<int> made;
  for (int fd : open_descriptors())
    if (before.count(fd) == 0) made.insert(fd);
  EXPECT_GE(made.size(), 3u);
  std::string output;
  run("/bin/sh", Args{{str("-c")}, {str("ls /proc/$$/fd")}}, &output);
  std::set<int> inherited;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) inherited.insert(std::stoi(line));
  for (int fd : {0, 1, 2}) EXPECT_EQ(inherited.count(fd), 1u) << fd;
  for (int fd : made) EXPECT_EQ(inherited.count(fd), 0u) << fd;
  (void)lvio_stream_close(&chain, 0);
}

TEST_F(Processes, StandardStreamChoices) {
  std::string output;
  // Input from /dev/null: at its end at once.
  lvio_wait_result r = run("/bin/cat", Args{}, &output);
  EXPECT_EQ(output, "");
  EXPECT_EQ(r.exit_code, 0);
  // Errors into the null device, output piped.
  run("/bin/sh", Args{{str("-c")}, {str("echo gone >&2; echo kept")}}, &output,
      LVIO_PROCESS_STDIN_NULL | LVIO_PROCESS_STDOUT_PIPE | LVIO_PROCESS_STDERR_NULL);
  EXPECT_EQ(output, "kept\n");
  struct {
    uint32_t flags;
    lvio_code expected;
  } refused[] = {
      {LVIO_PROCESS_STDOUT_PIPE | LVIO_PROCESS_STDERR_NULL, LVIO_E_INTERNAL_ERROR},  // no choice for input
      {LVIO_PROCESS_STDIN_NULL | LVIO_PROCESS_STDIN_PIPE | LVIO_PROCESS_STDOUT_PIPE | LVIO_PROCESS_STDERR_NULL,
       LVIO_E_PARAMETER_ERROR},
  };
  for (const auto& c : refused) {
    int out = -2;
    EXPECT_EQ(lvio_process_create("/bin/true", nullptr, nullptr, nullptr, nullptr, &out, nullptr, nullptr, c.flags),
              c.expected);
    EXPECT_EQ(out, -2);
  }
  Args unknown{{{"url", 18, "x"}}};
  EXPECT_EQ(
      lvio_process_create("/bin/true", unknown.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, OUT_ONLY),
      LVIO_E_PARAMETER_ERROR);
}

TEST_F(Processes, Ids) {
  uint32_t self;
  ASSERT_EQ(lvio_process_current_id(&self), 0);
  EXPECT_EQ(self, static_cast<uint32_t>(getpid()));
  lvio_process* p = nullptr;
  EXPECT_EQ(lvio_process_open(0, &p), LVIO_E_NOT_FOUND);
  EXPECT_EQ(lvio_process_open(0x7FFFFFF0, &p), LVIO_E_NOT_FOUND);
  lvio_process* child = start("/bin/sleep", Args{{str("30")}});
  ASSERT_NE(child, nullptr);
  uint32_t id;
  ASSERT_EQ(lvio_process_id(child, &id), 0);
  ASSERT_EQ(lvio_process_open(id, &p), 0);
  ASSERT_EQ(lvio_process_kill(p, 0, 1), 0);
  lvio_wait_result r;
  ASSERT_EQ(lvio_process_wait(p, nullptr, &r, 2), 0);  // a child, opened by its id
  EXPECT_EQ(r.exit_code, -SIGKILL);
}

TEST_F(Processes, TheStatusOfAProcessThatIsNoChildCannotBeHad) {
  // A grandchild: started by the shell, which ends without waiting for it.
  std::string output;
  run("/bin/sh", Args{{str("-c")}, {str("/bin/sleep 0.2 </dev/null >/dev/null 2>&1 & echo $!")}}, &output);
  lvio_process* p = nullptr;
  ASSERT_EQ(lvio_process_open(static_cast<uint32_t>(std::stoul(output)), &p), 0);
  lvio_wait_result r = {0, 0};
  EXPECT_EQ(lvio_process_wait(p, nullptr, &r, 0), LVIO_E_NOT_SUPPORTED);
  EXPECT_EQ(r.exited, 1);
  EXPECT_EQ(lvio_process_release(p, 0), 0);
}

TEST_F(Processes, ReleasedChildrenAreReaped) {
  lvio_process* p = nullptr;
  ASSERT_EQ(lvio_process_create("/bin/sleep", Args{{str("0.1")}}.get(), nullptr, nullptr, nullptr, nullptr, nullptr, &p,
                                LVIO_PROCESS_STDIN_NULL | LVIO_PROCESS_STDOUT_NULL | LVIO_PROCESS_STDERR_NULL),
            0);
  uint32_t id;
  (void)lvio_process_id(p, &id);
  ASSERT_EQ(lvio_process_release(p, 0), 0);  // still running
  // Reaped on a later call once it has ended: no zombie stays.
  EXPECT_TRUE(eventually([&] {
    std::string output;
    run("/bin/true", Args{}, &output);
    return kill(static_cast<pid_t>(id), 0) != 0;
  }));
}

}  // namespace
