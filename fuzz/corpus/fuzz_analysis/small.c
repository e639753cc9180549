#include <stdio.h>
/* block
   comment */
int main(void) {
  if (x > 0x1F) {
    puts("a \"b\"");
  }
  return 0; // done
}
