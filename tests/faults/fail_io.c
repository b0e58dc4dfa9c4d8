/* A test-only interposer (LD_PRELOAD) that counts the file-system calls a program makes on files in
 * one folder, and makes one of them fail.
 *
 *   FAIL_IO_DIR    the folder whose files are watched (a path prefix); nothing else is touched
 *   FAIL_IO_LOG    where the watched calls are listed at exit: "calls N", then each call's name
 *   FAIL_IO_AT     the watched call (from 1) that fails; unset or 0: none
 *   FAIL_IO_KIND   how: eio (every call), enospc, short (half the bytes written), eintr (writes)
 *   FAIL_IO_KILL   the watched call (from 1) at which the process kills itself with SIGKILL: just
 *                  before it, or with FAIL_IO_KILL_AFTER=1 just after it returns
 *
 * Watched: open and openat of a path in the folder, and write, fsync, fdatasync and close of the
 * descriptors they gave; rename and renameat whose target is in the folder. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

static const char* folder;
static size_t folderLength;
static long failAt;
static long killAt;
static int killAfter;
static const char* kind = "eio";
static long calls;
static unsigned char watched[4096];
static char names[1 << 16];  /* each watched call's name, in order, blank-separated */
static size_t namesLength;

__attribute__((constructor)) static void Start(void) {
  folder = getenv("FAIL_IO_DIR");
  folderLength = folder ? strlen(folder) : 0;
  const char* at = getenv("FAIL_IO_AT");
  failAt = at ? atol(at) : 0;
  if (getenv("FAIL_IO_KIND")) kind = getenv("FAIL_IO_KIND");
  const char* kill = getenv("FAIL_IO_KILL");
  killAt = kill ? atol(kill) : 0;
  killAfter = getenv("FAIL_IO_KILL_AFTER") != NULL;
}

/* After a watched call returns: the moment to die, if it is this one. */
static void AfterCall(void) {
  if (killAt != 0 && killAfter && calls == killAt) raise(SIGKILL);
}

__attribute__((destructor)) static void Stop(void) {
  const char* log = getenv("FAIL_IO_LOG");
  if (!log) return;
  int (*real_open)(const char*, int, ...) = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open");
  ssize_t (*real_write)(int, const void*, size_t) =
      (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
  int (*real_close)(int) = (int (*)(int))dlsym(RTLD_NEXT, "close");
  const int fd = real_open(log, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  char text[64];
  const int n = snprintf(text, sizeof text, "calls %ld\n", calls);
  real_write(fd, text, (size_t)n);
  real_write(fd, names, namesLength);
  real_write(fd, "\n", 1);
  real_close(fd);
}

static int InFolder(const char* path) {
  return folder && path && strncmp(path, folder, folderLength) == 0;
}

static int Watched(int fd) {
  return fd >= 0 && fd < (int)sizeof watched && watched[fd];
}

/* Counts a watched call; true when it is the one to fail. */
static int Counted(const char* name) {
  ++calls;
  const size_t n = strlen(name);
  if (namesLength + n + 1 < sizeof names) {
    memcpy(names + namesLength, name, n);
    names[namesLength + n] = ' ';
    namesLength += n + 1;
  }
  if (killAt != 0 && !killAfter && calls == killAt) raise(SIGKILL);
  return failAt != 0 && calls == failAt;
}

#define REAL(name, type) ((type)dlsym(RTLD_NEXT, name))

static int OpenWatched(int fd, const char* path) {
  if (fd >= 0 && InFolder(path) && fd < (int)sizeof watched) watched[fd] = 1;
  return fd;
}

static int OpenAt(const char* name, int dirfd, const char* path, int flags, mode_t mode) {
  if (InFolder(path) && Counted("open")) {
    errno = EIO;
    return -1;
  }
  const int fd = dirfd == -1000 ? REAL(name, int (*)(const char*, int, ...))(path, flags, mode)
                                : REAL(name, int (*)(int, const char*, int, ...))(dirfd, path, flags, mode);
  if (InFolder(path)) AfterCall();
  return OpenWatched(fd, path);
}

int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = (flags & O_CREAT) ? (mode_t)va_arg(args, int) : 0;
  va_end(args);
  return OpenAt("open", -1000, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = (flags & O_CREAT) ? (mode_t)va_arg(args, int) : 0;
  va_end(args);
  return OpenAt("open64", -1000, path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = (flags & O_CREAT) ? (mode_t)va_arg(args, int) : 0;
  va_end(args);
  return OpenAt("openat", dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = (flags & O_CREAT) ? (mode_t)va_arg(args, int) : 0;
  va_end(args);
  return OpenAt("openat64", dirfd, path, flags, mode);
}

ssize_t write(int fd, const void* data, size_t size) {
  ssize_t (*real)(int, const void*, size_t) = REAL("write", ssize_t(*)(int, const void*, size_t));
  if (Watched(fd) && Counted("write")) {
    if (strcmp(kind, "short") == 0 && size > 1) return real(fd, data, size / 2);
    errno = strcmp(kind, "enospc") == 0 ? ENOSPC : strcmp(kind, "eintr") == 0 ? EINTR : EIO;
    return -1;
  }
  const ssize_t written = real(fd, data, size);
  if (Watched(fd)) AfterCall();
  return written;
}

static int SyncCall(const char* name, int fd) {
  if (Watched(fd) && Counted(name)) {
    errno = EIO;
    return -1;
  }
  const int result = REAL(name, int (*)(int))(fd);
  if (Watched(fd)) AfterCall();
  return result;
}

int fsync(int fd) { return SyncCall("fsync", fd); }
int fdatasync(int fd) { return SyncCall("fdatasync", fd); }

int close(int fd) {
  const int watchedBefore = Watched(fd);
  const int fails = watchedBefore && Counted("close");
  if (fd >= 0 && fd < (int)sizeof watched) watched[fd] = 0;
  const int result = REAL("close", int (*)(int))(fd);
  /* A failing close still releases the descriptor, as Linux's does. */
  if (fails) {
    errno = EIO;
    return -1;
  }
  if (watchedBefore) AfterCall();
  return result;
}

int rename(const char* from, const char* to) {
  if (InFolder(to) && Counted("rename")) {
    errno = EIO;
    return -1;
  }
  const int result = REAL("rename", int (*)(const char*, const char*))(from, to);
  if (InFolder(to)) AfterCall();
  return result;
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
  if (InFolder(to) && Counted("rename")) {
    errno = EIO;
    return -1;
  }
  const int result =
      REAL("renameat", int (*)(int, const char*, int, const char*))(fromDir, from, toDir, to);
  if (InFolder(to)) AfterCall();
  return result;
}
