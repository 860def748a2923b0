// Files as wholes: reading, writing through part names, creating without following links.
#include "base/file_io.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/fatal.hpp"

bool read_whole_file(FILE* f, std::string& out, size_t limit) {
    out.clear();
    if (f == nullptr) return false;
    char buf[65536];
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, f)) > 0) {
        if (got > limit - out.size()) return false;
        out.append(buf, got);
    }
    return ferror(f) == 0;
}

void read_input_file(FILE* f, const char* name, size_t limit, std::string& out) {
    struct stat st {};
    const bool too_large = f != nullptr && fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) &&
                           static_cast<unsigned long long>(st.st_size) > limit;
    errno = 0;
    if (!too_large && read_whole_file(f, out, limit)) {
        ready_input_text(out);
        return;
    }
    if (f == nullptr || ferror(f) != 0)
        input_error(name, 0, "the file cannot be read: %s",
                    errno != 0 ? strerror(errno) : "read error");
    input_error(name, 0, "the file holds more than %zu bytes, the limit for %s", limit, name);
}

void ready_input_text(std::string& text) {
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    const size_t size = text.size();
    for (size_t i = text.find('\r'); i != std::string::npos && i < size; i = text.find('\r', i + 1))
        if (i + 1 == size || text[i + 1] != '\n') text[i] = '\n';
}

bool read_text_file(const std::string& path, std::string& text) {
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    const bool ok = read_whole_file(f, text);
    fclose(f);
    return ok;
}

bool write_text_file(const std::string& path, const std::string& text) {
    const std::string part = path + ".part";
    FILE* f = create_file(part.c_str());
    if (f == nullptr) return false;
    const bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    if (fclose(f) != 0 || !ok) return false;
    return rename(part.c_str(), path.c_str()) == 0;
}

FILE* create_file(const char* path) {
    // unlink removes a link itself, never what it points to; a folder stays and says so.
    if (unlink(path) != 0 && errno != ENOENT) {
        const int err = errno;
        struct stat st {};
        errno = lstat(path, &st) == 0 && S_ISDIR(st.st_mode) ? EISDIR : err;
        return nullptr;
    }
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    FILE* f = fdopen(fd, "w");
    if (f == nullptr) {
        const int err = errno;
        close(fd);
        errno = err;
    }
    return f;
}

uint64_t text_checksum(const std::string& text) {
    uint64_t h = 0xCBF29CE484222325ULL;
    for (const char c : text) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
    return h;
}
