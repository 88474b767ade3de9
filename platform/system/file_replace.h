#pragma once
// The one way the player writes a file that someone may be reading, or that
// may lie in a folder others can write to: the bytes go into a new file
// created exclusively (never through a planted link) under a random name in
// the same folder, which then replaces the old name in one rename. Readers
// see the old file or the new one, never a part; a failure leaves the old
// file as it was and no new file behind.
#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

namespace melvar::platform {

// The folder part of a path ("." for a bare name, "/" for the root).
std::string FolderOf(const std::string& path);

// Writes everything to fd, retrying after interruptions; 0 or the errno.
int WriteAll(int fd, std::string_view data);

// Replaces the file at `path` with what `fill` writes into the new file's
// descriptor (it returns 0 or an errno). `hiddenName` names the new file
// while it is written ("<folder>/<hiddenName><random>"); `mode` is its
// permission bits. With `durable`, the file and the rename are flushed to
// disk before the call returns. False, with the reason in *error when
// given, when the file cannot be made.
bool ReplaceFile(const std::string& path, const std::string& hiddenName, mode_t mode, bool durable,
                 const std::function<int(int fd)>& fill, std::string* error = nullptr);

}  // namespace melvar::platform
