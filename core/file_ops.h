#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velmora {

// The small file-system steps that saving and recovery are made of. Each raises EFileError with
// the name the user knows (the library, not a hidden temporary file) and the system's error text.

// path with the symbolic links of its last part followed to the file they lead to (which need not
// exist); path itself when it is no link. Raises EFileError for a loop of links.
std::string ResolveLinks(const std::string& path);

// The folder of path without a trailing separator ("." for a bare name).
std::string FolderOf(const std::string& path);

// FNV-1a, 64 bits: stable across builds and platforms, so that a later run finds the names an
// earlier one used.
uint64_t StableHash(std::span<const uint8_t> bytes);
uint64_t StableHash(std::string_view text);
// Sixteen lower-case hex digits.
std::string HexOf64(uint64_t value);

// A short hidden name in the folder of path for a file of its own: a dot, 16 hex digits of a hash
// of path's file name, then suffix. The name depends on the file name only, so any path that
// reaches the folder finds it; at most 32 characters for the suffixes used here, so that a file
// whose name is near the system's limit can still be saved.
std::string HiddenNameFor(const std::string& path, const std::string& suffix);

// The temporary file that replaces path, beside the file path leads to.
std::string ReplacementNameFor(const std::string& path);

// True when both paths name the same place: the same folder (by device and inode, so that links,
// other spellings and bind mounts agree) and the same name in it.
bool SamePlace(const std::string& a, const std::string& b);
// True when both paths lie in the same folder (by device and inode).
bool SameFolder(const std::string& a, const std::string& b);

// Makes renames and removals in the folder of path durable. A file system that cannot sync a
// folder is no reason to fail; any other error raises EFileError naming errorName.
void SyncFolder(const std::string& path, const std::string& errorName);

// Flushes a complete new file to the disk and gives it the owner and permissions of the file it
// replaces (when that exists). Raises EFileError naming target.
void SyncNewFile(const std::string& newFile, const std::string& target);

// rename(2); raises EFileError naming errorName.
void RenameFile(const std::string& from, const std::string& to, const std::string& errorName);

// unlink(2) of a file that may be missing already; raises EFileError naming errorName on any
// other error.
void RemoveFile(const std::string& path, const std::string& errorName);
// unlink(2), errors ignored: for leftovers that are removed again later if this fails.
void RemoveQuietly(const std::string& path);

} // namespace velmora
