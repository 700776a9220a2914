#pragma once
// Writing a whole file in one operation, so that a failure (disk full, no
// permission, a crash half-way) never leaves a half-written file behind.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace kr40 {

// NotAFile: something other than a regular file (a FIFO, a device, a socket)
// stands at the name; TooLarge: the file is bigger than the reader's limit.
enum class FileReadResult { Ok, Missing, Unreadable, NotAFile, TooLarge };

// Reads a whole regular file of at most `maxBytes` into *bytes (emptied on
// any failure). A missing file gives Missing; a path that exists but cannot
// be read (no permission, a directory, a read error) Unreadable. Only regular
// files are opened (a FIFO would block, a device might never end): anything
// else gives NotAFile, a larger file TooLarge.
FileReadResult ReadFileWhole(const std::filesystem::path& path, std::uintmax_t maxBytes, std::string* bytes);

// True when `path` (after following links) is an existing file whose owner
// has no write permission: such a file is left as it is.
bool IsReadOnlyFile(const std::filesystem::path& path);

// Writes `bytes` to a new temporary file in the target's folder, flushes it
// to the disk and then replaces the target by a rename. A symbolic link is
// followed: the file it points to is replaced and the link stays. A read-only
// file or a name held by something other than a regular file is refused. On
// failure the target is untouched, the temporary is removed, *error (if not
// null) gets a short reason, and false is returned.
bool WriteFileWhole(const std::filesystem::path& path, std::string_view bytes, std::string* error);

}  // namespace kr40
