#pragma once
// Local stream sockets: the helper's listening socket, client connections,
// the peer's credentials, and whole-frame reads and writes.
#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

#include "shared/util/expected.h"
#include "shared/util/owned_fd.h"

namespace korvane::linux_platform {

// An owned file descriptor.
using Fd = OwnedFd;

struct PeerCredentials {
    pid_t pid;
    uid_t uid;
    gid_t gid;
};

// Creates `folder` owned by this process's user with mode 0755 when missing.
// An existing folder is used only when it is a folder (not a link to one),
// belongs to this process's user and nobody else may write to it: whoever
// can write there can swap the socket or a record for their own.
Expected<Done, std::string> ensurePrivateFolder(const std::string& folder);

// Which file a listening socket was bound to, so that only its own file is
// removed when it stops.
struct SocketFile {
    dev_t device = 0;
    ino_t inode = 0;
};

struct Listener {
    Fd fd;
    SocketFile file;
};

// Binds and listens at `path` in a private folder (see ensurePrivateFolder).
// A socket file nobody listens on any more is replaced; one a live process
// still serves is left alone and the call fails, as it does for any other
// kind of file at `path`. The socket file gets `owner` and mode 0600.
Expected<Listener, std::string> listenUnix(const std::string& path, uid_t owner);

// Removes `path` only while it is still `file`: a later server may have
// taken the path over.
void removeSocketFile(const std::string& path, const SocketFile& file);

Expected<Fd, std::string> connectUnix(const std::string& path);

struct AcceptError {
    std::string text;
    // Out of descriptors or memory for now: accepting later may work. Any
    // other failure (the socket was shut down) is for good.
    bool transient = false;
};

// Waits for the next connection.
Expected<Fd, AcceptError> acceptUnix(int listener);

Expected<PeerCredentials, std::string> peerCredentials(int fd);

enum class ReadStatus { Frame, Closed, Error };
struct FrameRead {
    ReadStatus status;
    std::string payload;  // without the length prefix
    std::string error;    // for Error: what was wrong
};

// Reads one length-prefixed frame; a length over the limit is an Error and
// nothing of its payload is read.
FrameRead readFrame(int fd);

// Writes all bytes; false when the peer has gone. Never raises SIGPIPE.
bool writeAll(int fd, std::string_view bytes);

}  // namespace korvane::linux_platform
