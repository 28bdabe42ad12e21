#include "results/hdf5_buffered.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace {

constexpr size_t kGatherBytes = size_t{1} << 20;
constexpr haddr_t kPageBytes = 4096;

struct BufferedFile {
  H5FD_t public_part;  // first: the library sees a BufferedFile as its H5FD_t
  int fd = -1;
  dev_t device = 0;
  ino_t inode = 0;
  haddr_t eoa = 0;           // end of the address space the library allocated
  haddr_t eof = 0;           // end of the file on disk
  unsigned char* gathered;   // kGatherBytes
  haddr_t gathered_at = 0;   // file address of gathered[0]
  size_t gathered_used = 0;  // bytes gathered
};

BufferedFile* file_of(H5FD_t* f) {
  return reinterpret_cast<BufferedFile*>(f);
}
const BufferedFile* file_of(const H5FD_t* f) {
  return reinterpret_cast<const BufferedFile*>(f);
}

// Writes size bytes at addr; false (errno set) on failure.
bool write_at(BufferedFile* f, haddr_t addr, const unsigned char* bytes, size_t size) {
  while (size > 0) {
    const ssize_t n = pwrite(f->fd, bytes, size, static_cast<off_t>(addr));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    bytes += n, addr += static_cast<haddr_t>(n), size -= static_cast<size_t>(n);
    f->eof = std::max(f->eof, addr);
  }
  return true;
}

// Writes out the gathered bytes up to the last page boundary they reach
// (all of them when `all`), keeping the rest gathered.
bool write_gathered(BufferedFile* f, bool all) {
  const haddr_t end = f->gathered_at + f->gathered_used;
  const haddr_t upto = all ? end : std::max(f->gathered_at, end / kPageBytes * kPageBytes);
  const size_t written = static_cast<size_t>(upto - f->gathered_at);
  if (written > 0 && !write_at(f, f->gathered_at, f->gathered, written)) return false;
  std::memmove(f->gathered, f->gathered + written, f->gathered_used - written);
  f->gathered_used -= written;
  f->gathered_at = upto;
  return true;
}

H5FD_t* buffered_open(const char* name, unsigned flags, hid_t, haddr_t maxaddr) {
  int mode = (flags & H5F_ACC_RDWR) ? O_RDWR : O_RDONLY;
  if (flags & H5F_ACC_TRUNC) mode |= O_TRUNC;
  if (flags & H5F_ACC_CREAT) mode |= O_CREAT;
  if (flags & H5F_ACC_EXCL) mode |= O_EXCL;
  const int fd = open(name, mode | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat st;
  auto* f = new (std::nothrow) BufferedFile;
  unsigned char* gathered = new (std::nothrow) unsigned char[kGatherBytes];
  if (fstat(fd, &st) != 0 || f == nullptr || gathered == nullptr) {
    const int error = errno;
    delete f;
    delete[] gathered;
    close(fd);
    errno = error;
    return nullptr;
  }
  std::memset(&f->public_part, 0, sizeof f->public_part);
  f->public_part.maxaddr = maxaddr;
  f->fd = fd;
  f->device = st.st_dev;
  f->inode = st.st_ino;
  f->eof = static_cast<haddr_t>(st.st_size);
  f->gathered = gathered;
  return &f->public_part;
}

herr_t buffered_close(H5FD_t* handle) {
  BufferedFile* f = file_of(handle);
  bool ok = write_gathered(f, true);
  const int error = errno;
  ok = close(f->fd) == 0 && ok;
  delete[] f->gathered;
  delete f;
  if (!ok) errno = error;
  return ok ? 0 : -1;
}

int buffered_cmp(const H5FD_t* a, const H5FD_t* b) {
  const BufferedFile* x = file_of(a);
  const BufferedFile* y = file_of(b);
  if (x->device != y->device) return x->device < y->device ? -1 : 1;
  if (x->inode != y->inode) return x->inode < y->inode ? -1 : 1;
  return 0;
}

herr_t buffered_query(const H5FD_t*, unsigned long* flags) {
  *flags = H5FD_FEAT_AGGREGATE_METADATA | H5FD_FEAT_ACCUMULATE_METADATA | H5FD_FEAT_DATA_SIEVE |
           H5FD_FEAT_AGGREGATE_SMALLDATA | H5FD_FEAT_DEFAULT_VFD_COMPATIBLE;
  return 0;
}

haddr_t buffered_get_eoa(const H5FD_t* handle, H5FD_mem_t) {
  return file_of(handle)->eoa;
}

herr_t buffered_set_eoa(H5FD_t* handle, H5FD_mem_t, haddr_t addr) {
  file_of(handle)->eoa = addr;
  return 0;
}

haddr_t buffered_get_eof(const H5FD_t* handle, H5FD_mem_t) {
  const BufferedFile* f = file_of(handle);
  return std::max(f->eof, f->gathered_at + f->gathered_used);
}

herr_t buffered_get_handle(H5FD_t* handle, hid_t, void** file_handle) {
  *file_handle = &file_of(handle)->fd;
  return 0;
}

// Reads at addr; bytes past the end of the file read as zeros.
herr_t buffered_read(H5FD_t* handle, H5FD_mem_t, hid_t, haddr_t addr, size_t size, void* buffer) {
  BufferedFile* f = file_of(handle);
  if (f->gathered_used > 0 && addr < f->gathered_at + f->gathered_used &&
      addr + size > f->gathered_at && !write_gathered(f, true)) {
    return -1;
  }
  auto* out = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    const ssize_t n = pread(f->fd, out, size, static_cast<off_t>(addr));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) {
      std::memset(out, 0, size);
      break;
    }
    out += n, addr += static_cast<haddr_t>(n), size -= static_cast<size_t>(n);
  }
  return 0;
}

herr_t buffered_write(H5FD_t* handle, H5FD_mem_t, hid_t, haddr_t addr, size_t size,
                      const void* buffer) {
  BufferedFile* f = file_of(handle);
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  const bool appends = addr == f->gathered_at + f->gathered_used;
  if (appends && f->gathered_used + size > kGatherBytes && !write_gathered(f, false)) return -1;
  if (appends && f->gathered_used + size <= kGatherBytes) {
    std::memcpy(f->gathered + f->gathered_used, bytes, size);
    f->gathered_used += size;
    return 0;
  }
  // Elsewhere, or too much to gather: what is gathered goes first.
  if (!write_gathered(f, true)) return -1;
  if (size >= kGatherBytes) return write_at(f, addr, bytes, size) ? 0 : -1;
  std::memcpy(f->gathered, bytes, size);
  f->gathered_at = addr;
  f->gathered_used = size;
  return 0;
}

herr_t buffered_flush(H5FD_t* handle, hid_t, hbool_t) {
  return write_gathered(file_of(handle), true) ? 0 : -1;
}

// Cuts or extends the file to the allocated address space.
herr_t buffered_truncate(H5FD_t* handle, hid_t, hbool_t) {
  BufferedFile* f = file_of(handle);
  if (!write_gathered(f, true)) return -1;
  if (f->eoa == f->eof) return 0;
  if (ftruncate(f->fd, static_cast<off_t>(f->eoa)) != 0) return -1;
  f->eof = f->eoa;
  return 0;
}

herr_t buffered_lock(H5FD_t*, hbool_t) {
  return 0;
}

herr_t buffered_unlock(H5FD_t*) {
  return 0;
}

const H5FD_class_t kBufferedClass = {
    "corvanel_buffered",
    static_cast<haddr_t>(INT64_MAX),
    H5F_CLOSE_WEAK,
    nullptr,  // terminate
    nullptr,  // sb_size
    nullptr,  // sb_encode
    nullptr,  // sb_decode
    0,        // fapl_size
    nullptr,  // fapl_get
    nullptr,  // fapl_copy
    nullptr,  // fapl_free
    0,        // dxpl_size
    nullptr,  // dxpl_copy
    nullptr,  // dxpl_free
    buffered_open,
    buffered_close,
    buffered_cmp,
    buffered_query,
    nullptr,  // get_type_map
    nullptr,  // alloc
    nullptr,  // free
    buffered_get_eoa,
    buffered_set_eoa,
    buffered_get_eof,
    buffered_get_handle,
    buffered_read,
    buffered_write,
    buffered_flush,
    buffered_truncate,
    buffered_lock,
    buffered_unlock,
    H5FD_FLMAP_DICHOTOMY,
};

}  // namespace

hid_t hdf5_buffered_access() {
  static const hid_t driver = H5FDregister(&kBufferedClass);
  if (driver < 0) return -1;
  const hid_t access = H5Pcreate(H5P_FILE_ACCESS);
  if (access >= 0 && H5Pset_driver(access, driver, nullptr) < 0) {
    H5Pclose(access);
    return -1;
  }
  return access;
}
