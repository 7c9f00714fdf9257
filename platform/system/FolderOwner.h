#pragma once

#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace floodmark
