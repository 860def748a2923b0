// A lock file in the working folder, held with flock for the whole run. The kernel drops
// the lock when its holder dies, so a file left by a killed run is seen as stale and taken
// over; the file's text is the holder's process id, for the message a second run gives.
#include "app/folder_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int g_lock_fd = -1;
std::string g_lock_path;  // absolute, so that a change of folder cannot misdirect the removal

std::string folder_name() {
    char buf[PATH_MAX];
    return getcwd(buf, sizeof buf) != nullptr ? std::string(buf) : std::string(".");
}

[[noreturn]] void lock_failed(const std::string& folder, const char* why) {
    printf("Error: cannot lock the folder %s (%s): %s\n", folder.c_str(), kLockFileName, why);
    exit(1);
}

std::string holder_pid(int fd) {
    char buf[32] = {};
    const ssize_t got = pread(fd, buf, sizeof buf - 1, 0);
    std::string pid = got > 0 ? std::string(buf, static_cast<size_t>(got)) : std::string();
    while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' ')) pid.pop_back();
    return pid.empty() ? std::string("unknown") : pid;
}

// The lock is ours only if the name still leads to the file locked: a run that ended
// between our open and our flock has removed it, and a third run may have made a new one.
bool still_named(int fd, const char* path) {
    struct stat held {}, named {};
    return fstat(fd, &held) == 0 && stat(path, &named) == 0 && held.st_ino == named.st_ino &&
           held.st_dev == named.st_dev;
}

void unlock_at_exit() { unlock_folder(); }

}  // namespace

void lock_folder() {
    if (g_lock_fd >= 0) return;
    const std::string folder = folder_name();
    const std::string path = folder + "/" + kLockFileName;
    for (int attempt = 0; attempt < 100; ++attempt) {
        // The lock is written (the holder's process id), so its name must lead to a file of
        // its own: a link there would have the run overwrite whatever it leads to.
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno == ELOOP)
            lock_failed(folder, "it is a symbolic link, which a run never writes through; remove it "
                                "if no run of yours made it");
        if (fd < 0) lock_failed(folder, strerror(errno));
        struct stat st {};
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink > 1) {
            close(fd);
            lock_failed(folder, S_ISREG(st.st_mode) ? "it has other names (hard links), which a run "
                                                      "never writes through; remove it"
                                                    : "it is not a file; remove it");
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            if (err != EWOULDBLOCK) {
                close(fd);
                lock_failed(folder, strerror(err));
            }
            printf("Error: another run (process %s) is using the folder %s; wait for it to "
                   "end, or run in another folder\n",
                   holder_pid(fd).c_str(), folder.c_str());
            close(fd);
            exit(1);
        }
        if (!still_named(fd, path.c_str())) {
            close(fd);
            continue;
        }
        const std::string pid = std::to_string(static_cast<long>(getpid())) + "\n";
        if (ftruncate(fd, 0) != 0 ||
            pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
            const int err = errno;
            unlink(path.c_str());
            close(fd);
            lock_failed(folder, strerror(err));
        }
        g_lock_fd = fd;
        g_lock_path = path;
        static bool registered = false;
        if (!registered) registered = atexit(unlock_at_exit) == 0;
        return;
    }
    lock_failed(folder, "the lock file keeps being replaced");
}

void unlock_folder() {
    if (g_lock_fd < 0) return;
    // Removed while still held, so that no other run can lock the old file after us.
    unlink(g_lock_path.c_str());
    close(g_lock_fd);
    g_lock_fd = -1;
    g_lock_path.clear();
}
