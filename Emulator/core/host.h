// What the runtime says about the host it runs on, in one place: the
// platform's names, the suffix of shared libraries and the version banner.
// The values describe Linux on x86-64 as it is.
#pragma once

// The system's version, as the banner and directory names carry it.
#define LV_HOST_VERSION "4.9.0"

// The machine and operating system, as the banner names them.
#define LV_HOST_TRIPLE "x86_64-linux-gnu"

// The platform name: the directory under the library directory that holds
// the platform's own plug-ins (the tool-interface plug-ins among them).
#define LV_HOST_PLATFORM "x86_64-linux-gnu-4"

// The operating system's name as the Prolog flags report it.
#define LV_HOST_OS_NAME "linux"

// The file-name suffix of shared libraries (foreign resources, plug-ins,
// runtime copies).
#define LV_HOST_LIBRARY_SUFFIX ".so"

// The version banner; the part in brackets names the host.
#define LV_HOST_BANNER "Lorvika " LV_HOST_VERSION " (" LV_HOST_TRIPLE "): Fri Dec 15 11:11:01 WEST 2023"
