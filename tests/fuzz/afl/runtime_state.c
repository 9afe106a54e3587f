/* The record I/O runtime's process-wide state, put back as a fresh process
 * has it, so that the fuzzing harness can make many runs in one process
 * (AFL++'s persistent mode) and each run still behaves as the program's only
 * run would.
 *
 * Every writable variable of the runtime is either restored here to the value
 * it had before the first run, or kept, with the reason why keeping it cannot
 * change a later run. The harness lists both (--runtime-state), and a test
 * compares that list with the runtime library's symbol table, so a variable
 * added to the runtime cannot be overlooked. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "f2c.h"
#include "fio.h"
#include "fmt.h"
#include "lio.h"

#include "runtime_state.h"

/* Defined in the runtime without a declaration in its headers. */
extern int f__Aquote;
extern int f__cnt[10], f__ret[10], f__cp, f__rp; /* 10: STKSZ in fmt.c */
extern char *f__icend, *f__icptr;
extern int f__icnum;
extern icilist *f__svic;
extern char *f__lchar;
extern flag f__lquit;
extern int f__lcount, f__ltype, nml_read, l_eof;
extern double f__lx, f__ly;
extern uiolen f__reclen;
extern OFF_T f__recloc;
extern int xargc;
extern char **xargv;

struct restored {
  const char *name;
  void *address;
  size_t size;
  unsigned char *saved; /* a copy from before the first run */
};

#define RESTORED(variable) {#variable, &(variable), sizeof(variable), NULL}

static struct restored restored[] = {
    /* The unit table: which files are open, and how. */
    {"f__units", f__units, sizeof(unit) * MXUNIT, NULL},
    RESTORED(f__init),
    /* The statement in progress, which a run that ended on an error report
     * left half done. */
    RESTORED(f__cf), RESTORED(f__curunit), RESTORED(f__elist), RESTORED(f__svic),
    RESTORED(f__reading), RESTORED(f__sequential), RESTORED(f__formatted),
    RESTORED(f__external), RESTORED(f__recpos), RESTORED(f__cursor),
    RESTORED(f__hiwater), RESTORED(f__scale), RESTORED(f__reclen),
    RESTORED(f__recloc), RESTORED(f__getn), RESTORED(f__putn),
    RESTORED(f__donewrec), RESTORED(f__dorevert), RESTORED(f__doend),
    RESTORED(f__doed), RESTORED(f__doned), RESTORED(f__Aquote),
    /* The format interpreter. */
    RESTORED(f__fmtbuf), RESTORED(f__cnt), RESTORED(f__ret), RESTORED(f__cp),
    RESTORED(f__rp), RESTORED(f__pc), RESTORED(f__parenlvl), RESTORED(f__revloc),
    RESTORED(f__cblank), RESTORED(f__cplus), RESTORED(f__workdone),
    RESTORED(f__nonl),
    /* Internal files. */
    RESTORED(f__icptr), RESTORED(f__icend), RESTORED(f__icnum),
    /* The list reader and writer. */
    RESTORED(f__lioproc), RESTORED(l_getc), RESTORED(l_ungetc), RESTORED(f__lquit),
    RESTORED(f__lcount), RESTORED(f__ltype), RESTORED(f__lx), RESTORED(f__ly),
    RESTORED(f__lchar), RESTORED(l_eof), RESTORED(nml_read), RESTORED(L_len),
    /* The switch between the runtime's own and the faster conversions. */
    RESTORED(f__fast_paths),
    /* The program's arguments, as the start-up records them. */
    RESTORED(xargc), RESTORED(xargv),
};

/* Kept: what a later run finds there is what it would find in a fresh
 * process, or makes no difference to what it reads, writes or reports. */
static const struct {
  const char *name;
  const char *reason;
} kept[] = {
    {"f__buf", "the output record buffer: grown on demand, never shrunk, written before it is read"},
    {"f__buf0", "the output record buffer's first storage, written before it is read"},
    {"f__buflen", "the output record buffer's capacity, tied to f__buf"},
    {"f__lastfmt", "the last parsed format: reused only when the format text is the same"},
    {"f__lasttext", "the last parsed format: reused only when the format text is the same"},
    {"f__lastlen", "the last parsed format: reused only when the format text is the same"},
    {"f__lastpc", "the last parsed format: reused only when the format text is the same"},
    {"f__lastparenlvl", "the last parsed format: reused only when the format text is the same"},
    {"f__lastrevloc", "the last parsed format: reused only when the format text is the same"},
    {"f__syl", "the parsed format itself: rebuilt or reused with it"},
    {"buf", "integer conversion scratch, written before it is read"},
    {"hex", "a conversion table filled once, the same every time"},
    {"xx", "the at-exit close's once-only flag: the harness closes the units after every run"},
    {"first", "a once-only flag of the uninitialized-variable filler, which the program never calls"},
    {"rnan", "a NaN pattern of the uninitialized-variable filler, never written"},
    {"dnan0", "a NaN pattern of the uninitialized-variable filler, never written"},
    {"dnan1", "a NaN pattern of the uninitialized-variable filler, never written"},
    {"F_err", "error messages, never written"},
    {"My_ctype", "a character table, never written"},
    {"f__ltab", "a character table, never written"},
    {"f__r_mode", "open modes, never written"},
    {"f__w_mode", "open modes, never written"},
    {"f__typesize", "item sizes, never written"},
    {"_0", "a zero constant, never written"},
    {"_libf77_version_f2c", "a version string, never written"},
    {"_libi77_version_f2c", "a version string, never written"},
    {"memfailure", "an error code constant, never written"},
    {"wohin", "seek origins, never written"},
    {"one", "a constant 1 for byte-order tests, never written"},
    {"rafail", "a message text, never written"},
    {"what", "a message text, never written"},
    {"where", "a message text, never written"},
    {"where0", "a message text, never written"},
    {"Alpha", "namelist input, which the program never does"},
    {"Alphanum", "namelist input, which the program never does"},
    {"colonseen", "namelist input, which the program never does"},
    {"zot", "namelist input, which the program never does"},
    {"nl_cache", "namelist input, which the program never does"},
    {"n_nlcache", "namelist input, which the program never does"},
    {"nmL_next", "namelist input, which the program never does"},
    {"nmLbuf", "namelist input, which the program never does"},
    {"nmL_getc_save", "namelist input, which the program never does"},
    {"nmL_ungetc_save", "namelist input, which the program never does"},
};

#define COUNT(array) (sizeof(array) / sizeof((array)[0]))

void runtime_state_save(void) {
  size_t i;
  for (i = 0; i < COUNT(restored); ++i) {
    restored[i].saved = malloc(restored[i].size);
    if (restored[i].saved == NULL) abort();
    memcpy(restored[i].saved, restored[i].address, restored[i].size);
  }
}

void runtime_close_units(void) {
  /* What the runtime's at-exit close does, which it does only once a
   * process. */
  cllist all;
  memset(&all, 0, sizeof all);
  all.cerr = 1;
  all.csta = NULL;
  for (all.cunit = 0; all.cunit < MXUNIT; ++all.cunit) (void)f_clos(&all);
}

void runtime_state_restore(void) {
  size_t i;
  /* The character buffer of the list reader is the runtime's to free. */
  free(f__lchar);
  f__lchar = NULL;
  for (i = 0; i < COUNT(restored); ++i) memcpy(restored[i].address, restored[i].saved, restored[i].size);
}

void runtime_state_list(FILE *out) {
  size_t i;
  for (i = 0; i < COUNT(restored); ++i) fprintf(out, "restored %s\n", restored[i].name);
  for (i = 0; i < COUNT(kept); ++i) fprintf(out, "kept %s: %s\n", kept[i].name, kept[i].reason);
}
