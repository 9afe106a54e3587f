/* The record I/O runtime's process-wide state, for a harness that makes many
 * runs in one process. */
#pragma once

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Remembers the state as it is before the first run; called once. */
void runtime_state_save(void);
/* Closes every unit as the runtime's at-exit close does: buffers written,
 * files closed (the standard streams stay open). */
void runtime_close_units(void);
/* Puts the state back as remembered; after runtime_close_units. */
void runtime_state_restore(void);
/* One line per variable: "restored NAME" or "kept NAME: reason". */
void runtime_state_list(FILE *out);

#ifdef __cplusplus
}
#endif
