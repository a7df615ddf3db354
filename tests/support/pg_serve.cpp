// The tests' PostgreSQL server (pg_server.h) as a program of its own, for the scripts that
// test other programs against it (the Windows build under Wine):
//   pg_serve
// prints URI=<connection string with the password>, PASSWORD=<it>, PORT=<the loopback
// port> and READY, then serves until SIGTERM, SIGINT or SIGHUP, when it stops the server
// and removes its folder.
#include "pg_server.h"

#include <csignal>
#include <cstdio>
#include <exception>

int main() {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGHUP);
    // Blocked before the server starts, so that a stop asked during the start-up waits
    // for it and the server is still stopped and removed.
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    try {
        kvtest::PgServer server;
        std::printf("URI=%s\nPASSWORD=%s\nPORT=%d\nREADY\n", server.Uri().c_str(),
                    kvtest::PgServer::kPassword, server.port());
        std::fflush(stdout);
        int signal = 0;
        sigwait(&stop, &signal);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "pg_serve: %s\n", e.what());
        return 1;
    }
    return 0;
}
