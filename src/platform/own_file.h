#pragma once

#include <sys/types.h>

#include <QString>

// Files in a recording folder that other users can write are opened only when they are regular
// files of this user's: a link planted at a predictable name would lead the program to another
// file, and opening a FIFO would wait until someone writes into it.
namespace vortane::platform {

// True when `path` itself (not what a link there points to) is a regular file owned by this user.
bool IsOwnRegularFile(const QString& path);

// Opens an existing `path` with `flags` (O_RDONLY, O_WRONLY or O_RDWR, more flags allowed) only
// when it is a regular file of this user's: a link is not followed, a FIFO is not waited on. The
// descriptor is close-on-exec and blocking. -1 otherwise, with errno set (ELOOP for a link,
// EPERM for a file of another user, EINVAL for anything not a regular file).
int OpenOwnRegularFile(const QString& path, int flags);

// A name through which a library that opens files by name reaches the file behind `fd` and no
// other ("/proc/self/fd/N"): checked once, it cannot be swapped afterwards.
QByteArray DescriptorPath(int fd);

}  // namespace vortane::platform
