/* The least any reader of the power_supply class must do: list the folder and
 * read every supply's uevent once (open, read, close), nothing else. */
#ifndef AMBREL_BENCH_FLOOR_H
#define AMBREL_BENCH_FLOOR_H

#ifdef __cplusplus
extern "C" {
#endif

/* Returns the bytes read, or -1 when the folder cannot be listed. */
long read_every_uevent(const char *root);

#ifdef __cplusplus
}
#endif

#endif
