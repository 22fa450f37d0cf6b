// Placeholder until the decoder is built.
int main() { return 2; }
