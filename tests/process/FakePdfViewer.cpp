// Stands in for a PDF viewer registered for ".pdf" in a test prefix: writes
// the file it was asked to open (its second argument) into the file named by
// its first argument, and ends.
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    std::FILE* record = std::fopen(argv[1], "wb");
    if (!record) return 1;
    std::fputs(argv[2], record);
    return std::fclose(record) == 0 ? 0 : 1;
}
