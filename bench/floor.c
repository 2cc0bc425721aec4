#define _GNU_SOURCE
#include "floor.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

long read_every_uevent(const char *root)
{
    DIR *folder = opendir(root);
    if (folder == NULL) return -1;
    long total = 0;
    char text[4096];
    struct dirent *entry;
    while ((entry = readdir(folder)) != NULL) {
        if (entry->d_name[0] == '.') continue;
        char path[512];
        snprintf(path, sizeof path, "%s/uevent", entry->d_name);
        int fd = openat(dirfd(folder), path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        ssize_t n = read(fd, text, sizeof text);
        if (n > 0) total += n;
        close(fd);
    }
    closedir(folder);
    return total;
}
