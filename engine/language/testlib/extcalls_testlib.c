/* Functions that the outside-function tests declare and call: every kind of
   parameter by value and by reference, both kinds of result, a text changed
   in place, and the most parameters a call passes. */
#include <string.h>

int AddInts(int a, int b) { return a + b; }

double Scale(double x, int n) { return x * n; }

int TextLength(const char* s) { return (int)strlen(s); }

/* Replaces the text (at most 255 characters) and answers its old length. */
int Rename(char* s) {
  int old = (int)strlen(s);
  strcpy(s, "neu vom Aufrufer");
  return old;
}

/* By reference: counts up, doubles, appends "!". */
void Update(int* i, double* r, char* s) {
  *i += 1;
  *r *= 2;
  strcat(s, "!");
}

/* A text given by value that the callee writes over in full. */
void Fill(char* s) {
  memset(s, 'x', 255);
  s[255] = 0;
}

double Mixed(int a, double b, const char* s, int* c, double* d, int e, double f) {
  *c = a * 10;
  *d = b + f;
  return a + b + (double)strlen(s) + e + f;
}

int Sum18(int a1, int a2, int a3, int a4, int a5, int a6, int a7, int a8, int a9, int a10, int a11, int a12,
          int a13, int a14, int a15, int a16, int a17, int a18) {
  return a1 + 2 * a2 + 3 * a3 + 4 * a4 + 5 * a5 + 6 * a6 + 7 * a7 + 8 * a8 + 9 * a9 + 10 * a10 + 11 * a11 +
         12 * a12 + 13 * a13 + 14 * a14 + 15 * a15 + 16 * a16 + 17 * a17 + 18 * a18;
}

double SumReals10(double a, double b, double c, double d, double e, double f, double g, double h, double i,
                  double j) {
  return a + 2 * b + 3 * c + 4 * d + 5 * e + 6 * f + 7 * g + 8 * h + 9 * i + 10 * j;
}
