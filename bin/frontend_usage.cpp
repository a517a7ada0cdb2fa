// The usage and version texts.
#include "frontend.h"
#include "frontend_runtime.h"

namespace {

const char* const BUG_ADDRESS = "https://lorvika.org/bugs";
const char* const VERSION = "4.9.0";

const char* const USAGE_LINES[] = {
    "Options:\n\n",
    "    -f         Fast start. Do not read initialization files.\n",
    "    -i         Force interactive mode.\n",
    "    --noinfo   Suppress informational messages.\n",
    "    --nologo   Suppress initial version message.\n",
    "    -m         Use malloc memory manager bottom layer.\n",
    "               Mainly for use with valgrind.\n",
    "               Equivalent to -DLV_USE_MALLOC=yes.\n",
    "    -r <file>  Restore <file> after booting.\n",
    "    -l <file>  Ensure that <file> (containing Prolog code)\n",
    "               is loaded on startup. Can be specified more than once.\n",
    "    --goal <goal>  Execute <goal> after loading any files.\n",
    "    -D<var>=<value> Set the system property <var> to the value <value>.\n",
    "    -Xrs       Reduced use of OS-signals.\n",
    "    --help     Show this message and exit.\n",
    "    --version     Show version and exit.\n",
    "\n",
    "    -- ...     Pass the rest of the arguments as current_prolog_flag(argv,X).\n",
    "    -a ...     Legacy name for --.\n",
    "\n",
};

}  // namespace

void frontend_print_usage(int error_form, int argc, char** argv) {
  uint32_t more = error_form != 0 ? 2 : 18;
  uint32_t last = error_form != 0 ? 1 : 17;
  const char* program = argc > 0 ? argv[0] : "lorvika";
  rt::errprintf(more, "Usage: %s [options] [-- args ...]\n", program);
  for (const char* line : USAGE_LINES) rt::errprintf(more, "%s", line);
  rt::errprintf(more, "Report bugs using %s\n", BUG_ADDRESS);
  rt::errprintf(last, "\n");
}

void frontend_print_version() {
  rt::errprintf(18, "lorvika (Lorvika Prolog %s)\n", VERSION);
  rt::errprintf(18, "\n");
  rt::errprintf(18, "Lorvika Prolog Release %s\n", VERSION);
  rt::errprintf(18, "Copyright (C) 2023 The Lorvika developers. All rights reserved.\n");
  rt::errprintf(18, "\n");
  rt::errprintf(18, "Report bugs at:\n");
  rt::errprintf(18, "\n");
  rt::errprintf(17, "    %s\n", BUG_ADDRESS);
}
