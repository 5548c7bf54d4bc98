#pragma once
// The recording stand-in for the daemon, served on a real socket by the
// helper's own HelperService.
#include <unistd.h>

#include <memory>
#include <string>

#include "platform/linux/socket/helper_service.h"
#include "tests/fakes/fake_helper_protocol.h"

namespace korvane::testing {

// The fake, listening on `socketPath` until stopped or destroyed; restart()
// serves it again on the same path, as a helper started anew would.
struct ServedFakeHelper {
    explicit ServedFakeHelper(const std::string& socketPath) : path(socketPath) { restart(); }
    void stop() { service.reset(); }
    void restart() {
        service = std::make_unique<linux_platform::HelperService>(helper, ::getuid());
        listening = static_cast<bool>(service->listen(path));
        if (listening) service->start();
    }
    FakeHelper helper;
    std::string path;
    std::unique_ptr<linux_platform::HelperService> service;
    bool listening = false;
};

}  // namespace korvane::testing
