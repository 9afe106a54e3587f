/* Every single-precision bit pattern through the runtime's fixed-point
 * output twice: once down the fast path of the speed patches and once down
 * the stock sprintf("%#.*f") path, in the two fields read-SCS1 writes (F7.3
 * and F10.3). The fields must be the same, character for character.
 *
 *   exhaustive_fixed_point [--jobs N] [--stride S]
 *
 * With the default stride of 1 it covers all 2^32 patterns (about 3,900
 * core-seconds: sprintf of a large magnitude is slow); a stride S checks every
 * S-th pattern, for a quick run. Work is split over N forked processes (the
 * runtime keeps its state in globals). Prints the number of patterns
 * checked and of differences, the first few differing patterns, and exits
 * with status 1 if there was any difference.
 */
#define _POSIX_C_SOURCE 200809L

#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "f2c.h"
#include "fio.h"
#include "fmt.h"

/* The runtime's start-up is not used here: main is our own. */
int MAIN__(void) { return 0; }

static char field[64];
static int field_len;

static void collect(int c) {
  if (field_len < (int)sizeof field) field[field_len++] = (char)c;
}

/* The field wrt_F writes for the value with the given bits, down the fast
 * path or the stock one. */
static int format_field(uint32_t bits, int width, int fast, char *out) {
  ufloat u;
  memcpy(&u.pf, &bits, sizeof u.pf);
  f__fast_paths = fast;
  field_len = 0;
  wrt_F(&u, width, 3, (ftnlen)sizeof(real));
  memcpy(out, field, (size_t)field_len);
  return field_len;
}

/* Checks patterns first, first + step, ... below 2^32; returns the number
 * of differences and prints the first few. */
static uint64_t check(uint64_t first, uint64_t step, uint64_t *checked) {
  static const int widths[] = {7, 10};
  uint64_t diffs = 0, p;
  char fast[64], stock[64];
  f__putn = collect;
  f__scale = 0;
  f__cplus = 0;
  for (p = first; p <= UINT32_MAX; p += step) {
    int i;
    for (i = 0; i < 2; i++) {
      int lf = format_field((uint32_t)p, widths[i], 1, fast);
      int ls = format_field((uint32_t)p, widths[i], 0, stock);
      if (lf != ls || memcmp(fast, stock, (size_t)lf) != 0) {
        if (++diffs <= 5)
          printf("difference: bits 0x%08" PRIx32 ", F%d.3: fast \"%.*s\", stock \"%.*s\"\n",
                 (uint32_t)p, widths[i], lf, fast, ls, stock);
      }
    }
    ++*checked;
  }
  return diffs;
}

int main(int argc, char **argv) {
  int jobs = 2, j, status;
  uint64_t stride = 1, checked = 0, diffs = 0;
  int pipes[64][2];
  time_t start = time(NULL);
  for (j = 1; j < argc; j++) {
    if (!strcmp(argv[j], "--jobs") && j + 1 < argc) jobs = atoi(argv[++j]);
    else if (!strcmp(argv[j], "--stride") && j + 1 < argc) stride = strtoull(argv[++j], NULL, 0);
    else {
      fprintf(stderr, "usage: %s [--jobs N] [--stride S]\n", argv[0]);
      return 2;
    }
  }
  if (jobs < 1 || jobs > 64 || stride < 1) {
    fprintf(stderr, "%s: jobs must be 1 to 64, stride at least 1\n", argv[0]);
    return 2;
  }
  fflush(stdout);
  /* Worker j takes patterns j * stride, (j + jobs) * stride, ... */
  for (j = 0; j < jobs; j++) {
    if (pipe(pipes[j]) != 0) { perror("pipe"); return 2; }
    if (fork() == 0) {
      uint64_t n = 0, d;
      FILE *report;
      close(pipes[j][0]);
      d = check((uint64_t)j * stride, (uint64_t)jobs * stride, &n);
      fflush(stdout);
      report = fdopen(pipes[j][1], "w");
      fprintf(report, "%" PRIu64 " %" PRIu64 "\n", n, d);
      fclose(report);
      _exit(0);
    }
    close(pipes[j][1]);
  }
  for (j = 0; j < jobs; j++) {
    uint64_t n = 0, d = 0;
    FILE *report = fdopen(pipes[j][0], "r");
    if (fscanf(report, "%" SCNu64 " %" SCNu64, &n, &d) != 2) {
      fprintf(stderr, "worker %d ended without its report\n", j);
      return 2;
    }
    fclose(report);
    checked += n;
    diffs += d;
  }
  while (wait(&status) > 0) {
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      fprintf(stderr, "a worker failed\n");
      return 2;
    }
  }
  printf("%" PRIu64 " bit patterns checked in F7.3 and F10.3, %" PRIu64 " differences, %ld s\n",
         checked, diffs, (long)(time(NULL) - start));
  return diffs != 0;
}
