/* The sibling tool's starts alone, for bench/catalogue.sh: for each of N formats, starts
 * the given program twice, as an --apply of N new formats does (the delete's command line,
 * then the add's), each with posix_spawn and a wait, no shell between, the environment
 * passed on. The tool starts it the same way, so what an --apply costs beyond this loop is
 * its own work. Exits 1 when a start fails or the program does not exit 0.
 * Usage: spawn_loop <program> <N> */
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

extern char **environ;

static int start(char *const words[]) {
  pid_t pid;
  int status;
  if (posix_spawn(&pid, words[0], NULL, NULL, words, environ) != 0) return 1;
  if (waitpid(pid, &status, 0) < 0) return 1;
  return !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: spawn_loop <program> <N>\n");
    return 2;
  }
  const int formats = atoi(argv[2]);
  char name[32], length[16];
  char p[] = "-P", queue[] = "q1", d[] = "-d", n[] = "-n", w[] = "-w", width[] = "10",
       h[] = "-h", specid[] = "-specid", key[] = "VtL_vtS12mm__060A032B5251",
       show[] = "-show", one[] = "1";
  for (int i = 1; i <= formats; i++) {
    snprintf(name, sizeof name, "F%d", i);
    snprintf(length, sizeof length, "%d", 20 + i % 900);
    char *const del[] = {argv[1], p, queue, d, name, show, one, NULL};
    char *const add[] = {argv[1], p, queue, n, name, w, width, h, length, specid, key,
                         show, one, NULL};
    if (start(del) != 0 || start(add) != 0) return 1;
  }
  return 0;
}
