// The console program's entry.
#include "frontend.h"

int main(int argc, char** argv) { return frontend_entry(argc, argv); }
