/* A small CGI program over the engine for the server test: it reads the
 * request through the engine's default hooks (the process environment and
 * standard input) and answers, for each parameter in the engine's order, its
 * name, the length of its whole value, and its value (as the macro language
 * sees it) in HTML form through the engine's own CGI output.
 *
 * What holds: every line of the answer is "name (length)=html\n"; names are
 * written as they are (the test uses names without quotes or carets).
 */
#include <stdio.h>
#include <string.h>

#include "zetcore.h"

static char value[70000];

int main(void) {
  char name[256];
  char text[400];
  char result[256];
  uint8_t code[1024];
  int32_t i;
  if (ZetCgiInitParameters() != 0) return 1;
  fputs("Content-Type: text/plain; charset=windows-1252\r\n\r\n", stdout);
  for (i = 0; ZetCgiGetParamName(i, name, (int32_t)sizeof name - 1) == 1; ++i) {
    value[0] = 0;
    ZetCgiFindParameter(name, value, (int32_t)sizeof value - 1);
    printf("%s (%u)=", name, (unsigned)strlen(value));
    fflush(stdout);
    snprintf(text, sizeof text, "CgiWriteHtm(CgiGetParam('%s'))", name);
    if (ZetTokenize(0, code, text) != 0 || ZetSolve(0, result, code, (int32_t)sizeof result - 1, 0) != 0)
      fputs("<error>", stdout);
    fputs("\n", stdout);
  }
  fflush(stdout);
  return 0;
}
