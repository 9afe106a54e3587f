/* For coverage builds only: the runtime ends every failed run with abort(),
 * and gcov writes its counters only at a normal exit, so the failure paths
 * would never count as covered. Linked with --wrap=abort, the counters are
 * written first. */
#include <stdlib.h>

extern void __gcov_dump(void);
extern void __real_abort(void) __attribute__((noreturn));

void __wrap_abort(void) {
  __gcov_dump();
  __real_abort();
}
