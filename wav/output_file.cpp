// Replacing a file safely, on POSIX systems and on Windows.
#include "wav/output_file.h"

#include <cerrno>
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string_view>
#include <cstdlib>
#endif

namespace kettorin {

namespace {

// Large enough that the per-sample puts seldom reach the file system: a minute of sound is about
// twenty writes. (stdio given no buffer of its own would use the file system's 4 KiB block.)
constexpr size_t kStreamBufferBytes = size_t{256} << 10;

void Buffer(OutputFile& file) {
  if (file.stream == nullptr) return;
  file.streamBuffer = std::make_unique_for_overwrite<char[]>(kStreamBufferBytes);
  std::setvbuf(file.stream, file.streamBuffer.get(), _IOFBF, kStreamBufferBytes);
}

constexpr int kTemporaryNameAttempts = 100;

// As many links as the kernel itself follows before it gives up with ELOOP.
constexpr int kMaxLinkHops = 40;

// errno as the failed call left it; EIO for a call that failed without saying why, so that a
// failure is never taken for success.
int Errno() {
  return errno != 0 ? errno : EIO;
}

// Why no temporary file could be made beside the target, from the errno of the last attempt.
std::string WhyNoTemporary(int error) {
  switch (error) {
    case ENAMETOOLONG:
      return "the path is too long for a temporary file beside it";
    case EEXIST:
      return "every temporary name beside it is taken";
    default:
      return "no new file can be made in its folder";
  }
}

#ifdef _WIN32

// The errno nearest to why the last Win32 call failed, so that both systems report alike.
int ErrnoOfLastError() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    default:
      return EIO;
  }
}

bool IsRegularOrAbsent(const NativePath& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

std::FILE* OpenDirect(const NativePath& path, int& descriptor) {
  std::FILE* stream = _wfopen(path.c_str(), L"wb");
  descriptor = stream == nullptr ? -1 : _fileno(stream);
  return stream;
}

// The folder part of a path, with its final separator, or the drive of "C:name" ("" for a bare
// name).
NativePath FolderOf(const NativePath& path) {
  const size_t slash = path.find_last_of(L"\\/");
  if (slash != NativePath::npos) return path.substr(0, slash + 1);
  return path.size() >= 2 && path[1] == L':' ? path.substr(0, 2) : NativePath();
}

// Windows reports a path past MAX_PATH as a missing path, a name too long for its file system as
// an invalid one, and Wine a name too long for the host as a missing file: all are taken for
// ENAMETOOLONG, so that a short name is tried. (A folder truly missing makes the short name and
// the target fail as well.)
int ErrnoOfCreateFailure() {
  const DWORD lastError = GetLastError();
  if (lastError == ERROR_FILENAME_EXCED_RANGE || lastError == ERROR_PATH_NOT_FOUND ||
      lastError == ERROR_INVALID_NAME || lastError == ERROR_FILE_NOT_FOUND) {
    return ENAMETOOLONG;
  }
  return ErrnoOfLastError();
}

// A new file named `stem` + "N.tmp" for the first free N. Null, with the errno of the failure,
// when none could be made.
std::FILE* CreateNamed(const NativePath& stem, NativePath& name, int& error) {
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    // CREATE_NEW makes the name ours alone; calls racing for it move on to the next attempt.
    name = stem + std::to_wstring(attempt) + L".tmp";
    const HANDLE handle = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      error = ErrnoOfCreateFailure();
      return nullptr;
    }
    // The handle that made the file becomes the stream: reopening the file by name would leave a
    // moment in which another process could put a file of its own under that name.
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd == -1) {
      error = Errno();
      CloseHandle(handle);
      DeleteFileW(name.c_str());
      return nullptr;
    }
    if (std::FILE* stream = _fdopen(fd, "wb")) return stream;
    error = Errno();
    _close(fd);  // and the handle with it
    DeleteFileW(name.c_str());
    return nullptr;
  }
  error = EEXIST;
  return nullptr;
}

std::FILE* CreateTemporary(const NativePath& target, NativePath& name, std::string& whyNot,
                           int& descriptor) {
  const std::wstring process = std::to_wstring(GetCurrentProcessId());
  int error = 0;
  std::FILE* stream = CreateNamed(target + L".kettorin-" + process + L"-", name, error);
  // The target's name leaves no room for the suffix: a short name of our own in its folder.
  if (stream == nullptr && error == ENAMETOOLONG) {
    stream = CreateNamed(FolderOf(target) + L".kt-" + process + L"-", name, error);
  }
  if (stream == nullptr) whyNot = WhyNoTemporary(error);
  descriptor = stream == nullptr ? -1 : _fileno(stream);
  return stream;
}

// The data on the disk itself, not only in the system's cache. Devices and pipes are not synced.
// 0, or the errno of the failure.
int SyncToStorage(const OutputFile& file) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.descriptor));
  if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) return 0;
  return FlushFileBuffers(handle) != 0 ? 0 : ErrnoOfLastError();
}

// Write-through: the call returns once the new name is on the disk. 0, or the errno of the failure.
int MoveIntoPlace(const NativePath& from, const NativePath& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : ErrnoOfLastError();
}

void RemoveFile(const NativePath& path) {
  DeleteFileW(path.c_str());
}

bool IsRegularFile(const NativePath& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

#else

bool IsRegularOrAbsent(const NativePath& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return errno == ENOENT;
  return S_ISREG(info.st_mode);
}

bool IsRegularFile(const NativePath& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

#if defined(__GLIBC__)
// Every byte stdio hands over is written: a write cut short goes on from where it stopped, and one
// interrupted by a signal is made again, where stdio itself would report the interruption as a
// failure. (A write that fails for any other reason fails the stream.)
ssize_t WriteWhole(void* cookie, const char* data, size_t size) {
  const int fd = static_cast<int>(reinterpret_cast<intptr_t>(cookie));
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

int SeekDescriptor(void* cookie, off64_t* position, int whence) {
  const off64_t at = ::lseek64(static_cast<int>(reinterpret_cast<intptr_t>(cookie)), *position,
                               whence);
  if (at < 0) return -1;
  *position = at;
  return 0;
}

int CloseDescriptor(void* cookie) {
  return ::close(static_cast<int>(reinterpret_cast<intptr_t>(cookie)));
}
#endif

// A write stream on the descriptor, which it closes; null when none can be made (the descriptor
// is then closed too).
std::FILE* StreamOn(int fd) {
#if defined(__GLIBC__)
  std::FILE* stream =
      ::fopencookie(reinterpret_cast<void*>(static_cast<intptr_t>(fd)), "wb",
                    cookie_io_functions_t{nullptr, WriteWhole, SeekDescriptor, CloseDescriptor});
#else
  std::FILE* stream = ::fdopen(fd, "wb");
#endif
  if (stream == nullptr) {
    const int error = errno;
    ::close(fd);
    errno = error;
  }
  return stream;
}

std::FILE* OpenDirect(const NativePath& path, int& descriptor) {
  descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (descriptor < 0) return nullptr;
  std::FILE* stream = StreamOn(descriptor);
  if (stream == nullptr) descriptor = -1;
  return stream;
}

// The folder part of a path, with its final slash ("" for a bare name).
NativePath FolderOf(const NativePath& path) {
  const size_t slash = path.rfind('/');
  return slash == NativePath::npos ? NativePath() : path.substr(0, slash + 1);
}

// Where a dangling link points: its text, followed by hand from link to link, relative text
// counting from the link's own folder. A chain longer than the kernel follows is left as given.
NativePath FollowDangling(const NativePath& link) {
  NativePath path = link;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string text(static_cast<size_t>(info.st_size > 0 ? info.st_size : PATH_MAX) + 1, '\0');
    const ssize_t length = ::readlink(path.c_str(), text.data(), text.size());
    if (length < 0 || static_cast<size_t>(length) >= text.size()) return link;
    text.resize(static_cast<size_t>(length));
    path = text.starts_with('/') ? text : FolderOf(path) + text;
  }
  return link;
}

// A symbolic link is replaced at the file it names, as writing through it would: the link stays,
// and a link naming no file yet makes that file. A link to a device or a pipe is written through
// as it is.
NativePath Resolve(const NativePath& target) {
  struct stat info {};
  if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return target;
  if (::stat(target.c_str(), &info) != 0) return errno == ENOENT ? FollowDangling(target) : target;
  if (!S_ISREG(info.st_mode)) return target;
  char* resolved = ::realpath(target.c_str(), nullptr);
  if (resolved == nullptr) return target;
  NativePath result(resolved);
  std::free(resolved);
  return result;
}

// The data on the disk itself, not only in the page cache. Devices and pipes are not synced.
// 0, or the errno of the failure; a sync interrupted by a signal is made again.
int SyncToStorage(const OutputFile& file) {
  const int fd = file.descriptor;
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  int result = 0;
  do {
    result = ::fsync(fd);
  } while (result != 0 && errno == EINTR);
  return result == 0 ? 0 : Errno();
}

// The folder's entry for the renamed file, so that the new name survives a crash too. Some file
// systems cannot sync a folder; the file itself is in place and complete by then either way.
void SyncFolderOf(const NativePath& path) {
  const NativePath folder = FolderOf(path);
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// A new file named `stem` + "N.tmp" for the first free N, with the permissions the target has or
// would get. Null, with the errno of the failure, when none could be made.
std::FILE* CreateNamed(const NativePath& stem, const NativePath& target, NativePath& name,
                       int& error, int& descriptor) {
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    // O_EXCL makes the name ours alone; calls racing for it move on to the next attempt.
    name = stem + std::to_string(attempt) + ".tmp";
    // 0666 under the umask: the permissions a plain create of the target would get.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      error = Errno();
      return nullptr;
    }
    // A file being replaced keeps its permissions.
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);
    if (std::FILE* stream = StreamOn(fd)) {
      descriptor = fd;
      return stream;
    }
    error = Errno();
    ::unlink(name.c_str());
    return nullptr;
  }
  error = EEXIST;
  return nullptr;
}

// Temporary files that a process killed while writing this target left beside it (named for the
// target and for a process that no longer runs), removed before a new one is made. A process that
// still runs, or one we may not signal, keeps its file.
void RemoveStaleTemporaries(const NativePath& target) {
  const NativePath folder = FolderOf(target);
  const NativePath name = target.substr(folder.size());
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  const NativePath prefixes[] = {name + ".kettorin-", ".kt-"};
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view file = entry->d_name;
    for (const NativePath& prefix : prefixes) {
      if (!file.starts_with(prefix) || !file.ends_with(".tmp")) continue;
      // PID-N.tmp after the prefix.
      const std::string_view rest = file.substr(prefix.size());
      const size_t dash = rest.find('-');
      if (dash == 0 || dash == std::string_view::npos) continue;
      long pid = 0;
      bool digits = true;
      for (char c : rest.substr(0, dash)) {
        digits = digits && c >= '0' && c <= '9' && pid < 100000000;
        pid = pid * 10 + (c - '0');
      }
      if (!digits || pid <= 0 || pid == ::getpid()) continue;
      if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;  // it still runs
      // A short name may have served another target: a dead process's file is left over either way.
      ::unlink((folder + std::string(file)).c_str());
    }
  }
  ::closedir(dir);
}

std::FILE* CreateTemporary(const NativePath& target, NativePath& name, std::string& whyNot,
                           int& descriptor) {
  RemoveStaleTemporaries(target);
  const std::string process = std::to_string(::getpid());
  int error = 0;
  std::FILE* stream =
      CreateNamed(target + ".kettorin-" + process + "-", target, name, error, descriptor);
  // The target's name leaves no room for the suffix: a short name of our own in its folder.
  if (stream == nullptr && error == ENAMETOOLONG) {
    stream = CreateNamed(FolderOf(target) + ".kt-" + process + "-", target, name, error,
                         descriptor);
  }
  if (stream == nullptr) whyNot = WhyNoTemporary(error);
  return stream;
}

// 0, or the errno of the failure.
int MoveIntoPlace(const NativePath& from, const NativePath& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) return Errno();
  SyncFolderOf(to);
  return 0;
}

void RemoveFile(const NativePath& path) {
  ::unlink(path.c_str());
}

#endif

}  // namespace

OutputFile OpenOutputFile(const NativePath& requested) {
  OutputFile file;
#ifdef _WIN32
  file.target = requested;
#else
  file.target = Resolve(requested);
#endif
  std::string whyNoTemporary;
  if (IsRegularOrAbsent(file.target)) {
    file.stream = CreateTemporary(file.target, file.temporary, whyNoTemporary, file.descriptor);
    if (file.stream == nullptr) file.temporary.clear();
  }
  // No new file could be made beside it, or it is no regular file: write in place, as "wb" does.
  if (file.stream == nullptr) {
    file.stream = OpenDirect(file.target, file.descriptor);
    if (file.stream == nullptr) {
      file.error = Errno();
    } else if (!whyNoTemporary.empty()) {
      file.inPlace = true;
      file.inPlaceReason = std::move(whyNoTemporary);
    }
  }
  Buffer(file);
  return file;
}

bool CommitOutputFile(OutputFile& file) {
  // Flushed and synced before the rename: a crash after it must not leave a short file in place.
  // The first failure's errno is kept as it happens; the steps after it may change errno.
  file.error = std::fflush(file.stream) == 0 ? SyncToStorage(file) : Errno();
  if (std::fclose(file.stream) != 0 && file.error == 0) file.error = Errno();
  file.stream = nullptr;
  file.descriptor = -1;
  if (file.temporary.empty()) {
    // Written in place: a regular file left half written is removed, a device never is.
    if (file.error != 0 && IsRegularFile(file.target)) RemoveFile(file.target);
    return file.error == 0;
  }
  if (file.error == 0) file.error = MoveIntoPlace(file.temporary, file.target);
  if (file.error == 0) return true;
  RemoveFile(file.temporary);
  return false;
}

void AbandonOutputFile(OutputFile& file) {
  std::fclose(file.stream);
  file.stream = nullptr;
  file.descriptor = -1;
  if (!file.temporary.empty()) {
    RemoveFile(file.temporary);
  } else if (IsRegularFile(file.target)) {
    RemoveFile(file.target);
  }
}

}  // namespace kettorin
