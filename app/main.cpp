// Placeholder until the start-up is built.
int main() { return 0; }
