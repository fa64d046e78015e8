/* Prints the engine version through the installed header and library. */
#include <stdio.h>

#include <zetcore.h>

int main(void) {
  char text[8];
  if (ZetLogin(1) != 0) return 1;
  printf("%d\n", (int)ZetGetVersion());
  return ZetGetLastError(text, (int32_t)sizeof text - 1) == 0 ? 0 : 1;
}
