#include "app/client/helper_probe.h"

#include <memory>

namespace korvane::app {
namespace {

// Lives until the answer or the time limit, whichever is first; only the main
// loop touches it.
struct Probe {
    std::shared_ptr<HelperConnection> connection;
    std::function<void(bool)> done;
    Timer limit;

    void finish(bool answered) {
        if (!done) return;
        limit.cancel();
        // Released here, on the main thread: the connection's own queue must
        // never be the one that destroys it.
        if (auto ending = std::move(connection)) ending->invalidate();
        std::move(done)(answered);
        done = nullptr;
    }
};

}  // namespace

void probeHelper(HelperConnector& connector, MainLoop& loop, Duration limit, std::function<void(bool)> done) {
    auto probe = std::make_shared<Probe>();
    probe->done = std::move(done);
    probe->connection = connector.connect({});
    probe->limit = Timer::once(loop, limit, [probe] { probe->finish(false); });
    probe->connection->send(msg::Ping{}, [probe, &loop](Expected<msg::Reply, ConnectionError> answer) {
        bool answered = answer && answer->success;
        loop.post([probe, answered] { probe->finish(answered); });
    });
}

}  // namespace korvane::app
