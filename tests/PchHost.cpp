// The program that carries the tests' precompiled headers (tests/CMakeLists.txt).
int main() { return 0; }
