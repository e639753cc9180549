/* Ring buffer of bytes: a small sample for the C lexer. */
#ifndef RING_H
#define RING_H 1

#include <stddef.h>
#include "config.h"  /* local settings */
#define RING_MIN(a, b) \
  ((a) < (b) ? (a) : (b))

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ring {
  unsigned char *data;
  size_t head, tail, size;
  _Bool full;
} ring_t;

static inline size_t ring_free(const ring_t *r) {
  return r->full ? 0u : (r->tail + r->size - r->head) % r->size;
}

#if defined(RING_DEBUG) && RING_DEBUG > 1
static int ring_check(const ring_t *r) {
#else
static int ring_check(const ring_t *r __attribute__((unused))) {
#endif
  // A mask, a float, octal and binary literals.
  long mask = 0xFF00FFul, oct = 0755, bits = 0b1010;
  double ratio = 1.5e-3, half = .5f;
  const char *msg = "tab\t\"quoted\" and a \
continued line";
  wchar_t w = L'x';
  char c = '\'';
  return (int) (mask ^ oct ^ bits) + (ratio > half) + c + (int) w + (msg != NULL);
}

#ifdef __cplusplus
}
#endif
#endif /* RING_H */
