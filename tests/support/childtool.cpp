// Placeholder until the runner's test program is built.
int main() { return 0; }
