// The yardstick of the series benchmark: a plain loop writing ten frame files' bytes,
// taken from one file holding them end to end, as 0000.bmp to 0009.bmp in the working
// directory with open(O_TRUNC) and write.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

static int write_all(int fd, const char *bytes, size_t size)
{
    while (size > 0) {
        ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: plain_write FRAMES_FILE\n");
        return 2;
    }
    int source = open(argv[1], O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (source < 0 || fstat(source, &info) != 0 || info.st_size % 10 != 0) {
        perror(argv[1]);
        return 1;
    }
    const size_t total = static_cast<size_t>(info.st_size), size = total / 10;
    void *mapped = mmap(nullptr, total, PROT_READ, MAP_PRIVATE | MAP_POPULATE, source, 0);
    if (mapped == MAP_FAILED) {
        perror("mmap");
        return 1;
    }
    const char *bytes = static_cast<const char *>(mapped);
    for (int i = 0; i < 10; ++i) {
        char name[16];
        snprintf(name, sizeof name, "%04d.bmp", i);
        int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0 || write_all(fd, bytes + i * size, size) != 0 || close(fd) != 0) {
            perror(name);
            return 1;
        }
    }
    return 0;
}
