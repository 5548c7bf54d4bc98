// A session manager for tests: the X Session Management Protocol (XSMP) as a
// desktop's session manager speaks it, through libSM's own server side. It
// writes its address (the value for SESSION_MANAGER) to the file named by its
// argument, then takes commands on standard input, one a line:
//   shutdown  asks every client to save itself before the session ends
//   cancel    tells them the shutdown was cancelled
//   die       ends the session
// and reports on standard output: "registered", "saved", "closed".
#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

SmsConn client = nullptr;
std::vector<IceConn> connections;

void report(const char* event) {
    std::cout << event << std::endl;
}

Status registerClient(SmsConn connection, SmPointer, char*) {
    char* id = SmsGenerateClientID(connection);
    SmsRegisterClientReply(connection, id);
    std::free(id);
    client = connection;
    report("registered");
    // A client new to the session is asked to save itself once at once.
    SmsSaveYourself(connection, SmSaveLocal, False, SmInteractStyleNone, False);
    return 1;
}

void saveYourselfDone(SmsConn, SmPointer, Bool) { report("saved"); }

void closeConnection(SmsConn connection, SmPointer, int count, char** reasons) {
    SmFreeReasons(count, reasons);
    IceConn ice = SmsGetIceConnection(connection);
    SmsCleanUp(connection);
    IceSetShutdownNegotiation(ice, False);
    IceCloseConnection(ice);
    std::erase(connections, ice);
    if (connection == client) client = nullptr;
    report("closed");
}

void interactRequest(SmsConn connection, SmPointer, int) { SmsInteract(connection); }
void interactDone(SmsConn, SmPointer, Bool) {}
void saveYourselfRequest(SmsConn, SmPointer, int, Bool, int, Bool, Bool) {}
void saveYourselfPhase2Request(SmsConn connection, SmPointer) { SmsSaveYourselfPhase2(connection); }
void setProperties(SmsConn, SmPointer, int count, SmProp** properties) {
    for (int i = 0; i < count; ++i) SmFreeProperty(properties[i]);
    std::free(properties);
}
void deleteProperties(SmsConn, SmPointer, int count, char** names) { SmFreeReasons(count, names); }
void getProperties(SmsConn connection, SmPointer) { SmsReturnProperties(connection, 0, nullptr); }

Status newClient(SmsConn, SmPointer, unsigned long* mask, SmsCallbacks* callbacks, char**) {
    *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
            SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask | SmsSaveYourselfDoneProcMask |
            SmsCloseConnectionProcMask | SmsSetPropertiesProcMask | SmsDeletePropertiesProcMask |
            SmsGetPropertiesProcMask;
    callbacks->register_client.callback = registerClient;
    callbacks->interact_request.callback = interactRequest;
    callbacks->interact_done.callback = interactDone;
    callbacks->save_yourself_request.callback = saveYourselfRequest;
    callbacks->save_yourself_phase2_request.callback = saveYourselfPhase2Request;
    callbacks->save_yourself_done.callback = saveYourselfDone;
    callbacks->close_connection.callback = closeConnection;
    callbacks->set_properties.callback = setProperties;
    callbacks->delete_properties.callback = deleteProperties;
    callbacks->get_properties.callback = getProperties;
    return 1;
}

// Every client of this machine may connect: the test's own processes.
Bool anyHost(char*) { return True; }

void command(const std::string& line) {
    if (!client) return;
    if (line == "shutdown") SmsSaveYourself(client, SmSaveBoth, True, SmInteractStyleNone, False);
    else if (line == "cancel") SmsShutdownCancelled(client);
    else if (line == "die") SmsDie(client);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " ADDRESS_FILE\n";
        return 64;
    }
    char error[256] = "";
    if (!SmsInitialize("korvane-test", "1.0", newClient, nullptr, anyHost, sizeof error, error)) {
        std::cerr << "SmsInitialize: " << error << "\n";
        return 1;
    }
    int count = 0;
    IceListenObj* listeners = nullptr;
    if (!IceListenForConnections(&count, &listeners, sizeof error, error)) {
        std::cerr << "IceListenForConnections: " << error << "\n";
        return 1;
    }
    // Local sockets only: no network listener for a test.
    std::vector<IceListenObj> local;
    for (int i = 0; i < count; ++i) {
        IceSetHostBasedAuthProc(listeners[i], anyHost);
        char* id = IceGetListenConnectionString(listeners[i]);
        if (std::string(id).starts_with("local/")) local.push_back(listeners[i]);
        std::free(id);
    }
    char* address = IceComposeNetworkIdList(static_cast<int>(local.size()), local.data());
    std::ofstream(argv[1]) << address << "\n";
    std::free(address);

    for (;;) {
        std::vector<pollfd> fds{{STDIN_FILENO, POLLIN, 0}};
        for (IceListenObj listener : local) fds.push_back({IceGetListenConnectionNumber(listener), POLLIN, 0});
        for (IceConn connection : connections) fds.push_back({IceConnectionNumber(connection), POLLIN, 0});
        // Connections accepted below were not polled: they wait for the next round.
        const std::size_t polled = connections.size();
        if (::poll(fds.data(), fds.size(), -1) < 0) continue;
        if (fds[0].revents) {
            std::string line;
            if (!std::getline(std::cin, line)) return 0;
            command(line);
        }
        for (std::size_t i = 0; i < local.size(); ++i) {
            if (!fds[1 + i].revents) continue;
            IceAcceptStatus accepted;
            IceConn connection = IceAcceptConnection(local[i], &accepted);
            if (!connection) continue;
            IceConnectStatus status;
            while ((status = IceConnectionStatus(connection)) == IceConnectPending) {
                if (IceProcessMessages(connection, nullptr, nullptr) == IceProcessMessagesIOError) break;
            }
            if (status == IceConnectAccepted) connections.push_back(connection);
            else IceCloseConnection(connection);
        }
        std::vector<IceConn> ready;
        for (std::size_t i = 0; i < polled; ++i) {
            if (fds[1 + local.size() + i].revents) ready.push_back(connections[i]);
        }
        for (IceConn connection : ready) {
            if (IceProcessMessages(connection, nullptr, nullptr) == IceProcessMessagesIOError) {
                IceSetShutdownNegotiation(connection, False);
                IceCloseConnection(connection);
                std::erase(connections, connection);
                if (client && SmsGetIceConnection(client) == connection) {
                    SmsCleanUp(client);
                    client = nullptr;
                }
                report("closed");
            }
        }
    }
}
