// Stands in for the web browser: registered as the program that opens http
// addresses, it writes the address it was given to a log file.
// Usage (as registered): urlprobe.exe <log file> <address>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: urlprobe <log file> <address>\n");
        return 2;
    }
    FILE* f = std::fopen(argv[1], "a");
    if (!f) return 1;
    std::fprintf(f, "%s\n", argv[2]);
    std::fclose(f);
    return 0;
}
