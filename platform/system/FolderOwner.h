#pragma once

#include "platform/system/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace floodmark {

// Root writing in a folder of another user's (a container's hook in the user's bind-mounted
// ~/.tolvera) hands the file it made to that user, who must go on reading, locking and
// replacing it. False when that was needed and failed.
inline bool giveToFolderOwner(int descriptor, int folder) {
    struct stat owner {};
    if (geteuid() != 0 || fstat(folder, &owner) != 0 || owner.st_uid == 0) {
        return true;
    }
    return fchown(descriptor, owner.st_uid, owner.st_gid) == 0;
}

// The same for a file just made at `path`.
inline bool giveToOwnerOfFolderAt(int descriptor, const std::string& path) {
    if (geteuid() != 0) {
        return true;
    }
    int folder = open(parentDirectory(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool given = folder >= 0 && giveToFolderOwner(descriptor, folder);
    if (folder >= 0) {
        close(folder);
    }
    return given;
}

}  // namespace floodmark
