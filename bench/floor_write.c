/* The floor a request is measured against: a minimal C program that writes a captured response
   with one write and exits. Given a command, it first runs it through /bin/sh with a pipe from its
   standard output and drains it, as a status request runs the login CLI.
   Build: cc -O2 -DPAYLOAD_PATH='"response.out"' -DEXIT_STATUS=0 floor_write.c */
#include <stdio.h>
#include <unistd.h>

#ifndef PAYLOAD_PATH
#error "PAYLOAD_PATH names the captured response to embed"
#endif
#ifndef EXIT_STATUS
#define EXIT_STATUS 0
#endif

/* The captured bytes go into the program image as they are: no escaping, no generated source. */
/* clang-format off */
__asm__(".section .rodata\n"
        ".global floor_payload\n"
        "floor_payload:\n"
        ".incbin \"" PAYLOAD_PATH "\"\n"
        ".global floor_payload_end\n"
        "floor_payload_end:\n"
        ".previous\n");
/* clang-format on */
extern const char floor_payload[];
extern const char floor_payload_end[];

int main(int argc, char** argv) {
  if (argc > 1) {
    char drain[2048];
    FILE* tool = popen(argv[1], "r");
    if (tool == NULL) return 2;
    while (fread(drain, 1, sizeof drain, tool) > 0) {
    }
    pclose(tool);
  }
  if (write(STDOUT_FILENO, floor_payload, (size_t)(floor_payload_end - floor_payload)) < 0)
    return 3;
  return EXIT_STATUS;
}
