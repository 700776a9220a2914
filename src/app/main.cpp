#include <cstdio>

// The program's window is not built yet; until it is, the program only says
// what it is.
int main()
{
    std::puts("KR40 Scope: the main window is not built yet; `make test` runs the tests.");
    return 0;
}
