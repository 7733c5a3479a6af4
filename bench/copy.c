/* The start-up baseline: copies standard input to standard output in large
   blocks, the least any program that reads a deck and writes text can do. */
#include <unistd.h>

int main(void) {
  static char block[1 << 16];
  for (;;) {
    ssize_t n = read(0, block, sizeof block);
    if (n <= 0) return n < 0;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(1, block + done, (size_t)(n - done));
      if (w < 0) return 1;
      done += w;
    }
  }
}
