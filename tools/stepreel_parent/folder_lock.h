// An advisory lock on an episode folder, held by the parent while it records into it, so
// that `redact` never rewrites files the parent is still appending to. The lock goes with
// the process, however it ends.
#pragma once

#include <filesystem>
#include <optional>

namespace stepreel_parent {

class FolderLock {
public:
    /// Locks `dir`; nothing when it cannot be opened or another process holds the lock.
    static std::optional<FolderLock> tryLock(const std::filesystem::path& dir);
    FolderLock(FolderLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FolderLock& operator=(FolderLock&& other) noexcept;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();

private:
    explicit FolderLock(int fd) : fd_(fd) {}
    int fd_;
};

} // namespace stepreel_parent
