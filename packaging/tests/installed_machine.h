#pragma once

// The machine-wide changes the installed-package test makes, each undone by
// its destructor whether the test passes or fails: the installed packages
// (purged) and a throwaway login (removed with its home). RunCommand output of
// the undo steps is kept for the test to report.

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace e2e {

// Status of a package as dpkg-query reports it; empty when dpkg knows nothing.
std::string PackageStatus(const std::string& package);

// The newest .deb in `directory` whose name starts with "<package>_".
std::string FindDeb(const std::string& directory, const std::string& package);

class InstalledPackages {
public:
    // dpkg -i of every file at once; see Ok()/Log().
    InstalledPackages(std::vector<std::string> debs, std::vector<std::string> names);
    ~InstalledPackages() { Purge(); }
    InstalledPackages(const InstalledPackages&) = delete;
    InstalledPackages& operator=(const InstalledPackages&) = delete;

    bool Ok() const { return ok_; }
    const std::string& Log() const { return log_; }
    // dpkg --purge of every package, then man-db's index brought up to date;
    // idempotent. The exit status of dpkg.
    int Purge();

private:
    std::vector<std::string> names_;
    bool ok_ = false;
    bool purged_ = false;
    std::string log_;
};

// The account is made with useradd and removed with userdel, which leave the
// account files as they were but keep a copy of the state before their last
// change in /etc/passwd- and its siblings: those copies are put back too.
class ThrowawayUser {
public:
    explicit ThrowawayUser(std::string name);
    ~ThrowawayUser() { Remove(); }
    ThrowawayUser(const ThrowawayUser&) = delete;
    ThrowawayUser& operator=(const ThrowawayUser&) = delete;

    bool Ok() const { return uid_ > 0; }
    const std::string& Name() const { return name_; }
    uid_t Uid() const { return uid_; }
    gid_t Gid() const { return gid_; }
    const std::string& Home() const { return home_; }
    const std::string& Log() const { return log_; }
    // userdel --remove; idempotent. The exit status of userdel.
    int Remove();

private:
    std::vector<std::pair<std::string, std::string>> backups_; // path, content
    std::string name_, home_, log_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    bool removed_ = false;
};

} // namespace e2e
