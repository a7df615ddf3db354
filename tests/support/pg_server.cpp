#include "pg_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace kvtest {

namespace fs = std::filesystem;

namespace {

constexpr const char *kUnprivileged = "nobody";

// The newest installed server's programs: /usr/lib/postgresql/N/bin, or KORVANE_PG_BINDIR.
std::string ServerBinDir() {
    if (const char *env = std::getenv("KORVANE_PG_BINDIR"))
        return env;
    std::string best;
    int bestVersion = 0;
    std::error_code ec;
    for (const auto &e : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        const std::string name = e.path().filename().string();
        const int v = std::atoi(name.c_str());
        if (v > bestVersion && fs::exists(e.path() / "bin" / "initdb")) {
            bestVersion = v;
            best = (e.path() / "bin").string();
        }
    }
    return best;
}

bool RunningAsRoot() {
    return geteuid() == 0;
}

// A child that has not ended within the time is killed; its status either way.
int WaitFor(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return status;
        if (r < 0)
            return -1;
        if (std::chrono::steady_clock::now() >= end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace

int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
        if (fd >= 0)
            close(fd);
        throw std::runtime_error("no free loopback port");
    }
    close(fd);
    return ntohs(a.sin_port);
}

bool PgServer::Installed() {
    return !ServerBinDir().empty();
}

PgServer::PgServer() : bin_(ServerBinDir()) {
    if (bin_.empty())
        throw std::runtime_error("PostgreSQL server programs not found (scripts/deps)");
    char tmpl[] = "/tmp/korvane-pg-XXXXXX";
    if (!mkdtemp(tmpl))
        throw std::runtime_error("cannot create the server's folder");
    dir_ = tmpl;
    // The server's user must reach and own its folder.
    chmod(dir_.c_str(), 0755);
    if (RunningAsRoot()) {
        const passwd *pw = getpwnam(kUnprivileged);
        if (!pw || chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0)
            throw std::runtime_error("cannot give the server's folder to " +
                                     std::string(kUnprivileged));
    }
    const std::string pwfile = dir_ + "/pw";
    std::ofstream(pwfile) << kPassword << "\n";
    chmod(pwfile.c_str(), 0644);
    port_ = FreeLoopbackPort();
    try {
        RunTool({bin_ + "/initdb", "-D", dir_ + "/data", "-U", "korvane", "-E", "UTF8",
                 "--auth-local=trust", "--auth-host=scram-sha-256", "--pwfile=" + pwfile,
                 "--no-sync", "--no-instructions"});
        fs::remove(pwfile);
        Start();
        Query("CREATE DATABASE korvane");
    } catch (...) {
        if (pid_ > 0) {
            kill(pid_, SIGQUIT);
            WaitFor(pid_, std::chrono::seconds(10));
        }
        std::error_code ec;
        fs::remove_all(dir_, ec);
        throw;
    }
}

PgServer::~PgServer() {
    if (pid_ > 0) {
        kill(pid_, SIGINT); // fast shutdown: the sessions are ended, nothing waits for them
        WaitFor(pid_, std::chrono::seconds(20));
    }
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

// The program as the server's user, its output appended to the log. setpriv execs the
// program in place, so the id returned is the program's own.
pid_t PgServer::Spawn(const std::vector<std::string> &args) const {
    std::vector<std::string> full;
    if (RunningAsRoot())
        full = {"/usr/bin/setpriv", "--reuid=nobody",     "--regid=nogroup",
                "--clear-groups",   "--pdeathsig=SIGINT", "--"};
    full.insert(full.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : full)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string log = dir_ + "/log";
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        // A test process that dies without its destructors (an abort) takes the server
        // along: a fast shutdown when the parent goes. setpriv sets it again after changing
        // the user, which clears it.
        prctl(PR_SET_PDEATHSIG, SIGINT);
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0666);
        const int null = open("/dev/null", O_RDONLY);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
        }
        if (null >= 0)
            dup2(null, 0);
        if (chdir(dir_.c_str()) != 0)
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

void PgServer::RunTool(const std::vector<std::string> &args) const {
    const int status = WaitFor(Spawn(args), std::chrono::seconds(120));
    if (status < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(fs::path(args[0]).filename().string() + " failed:\n" + Log());
}

void PgServer::Start() {
    pid_ = Spawn({bin_ + "/postgres", "-D", dir_ + "/data", "-k", dir_, "-p", std::to_string(port_),
                  "-c", "listen_addresses=127.0.0.1", "-c", "fsync=off", "-c", "max_connections=60",
                  "-c", "log_connections=on"});
    WaitReady();
}

void PgServer::WaitReady() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("the PostgreSQL server ended at its start:\n" + Log());
        }
        if (PQping((SocketConninfo() + " dbname=postgres").c_str()) == PQPING_OK)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    throw std::runtime_error("the PostgreSQL server did not come up:\n" + Log());
}

void PgServer::StopImmediate() {
    RunTool({bin_ + "/pg_ctl", "stop", "-D", dir_ + "/data", "-m", "immediate"});
    WaitFor(pid_, std::chrono::seconds(20));
    pid_ = -1;
}

std::string PgServer::Uri(const std::string &password) const {
    return "postgresql://korvane" + (password.empty() ? "" : ":" + password) +
           "@127.0.0.1:" + std::to_string(port_) + "/korvane";
}

std::string PgServer::SocketConninfo() const {
    return "host=" + dir_ + " port=" + std::to_string(port_) +
           " user=korvane options='-c client_min_messages=warning'";
}

std::vector<std::vector<std::string>> PgServer::Query(const std::string &sql) const {
    // CREATE DATABASE runs in the maintenance database; everything else in korvane.
    const bool maintenance = sql.rfind("CREATE DATABASE", 0) == 0;
    PGconn *c = PQconnectdb(
        (SocketConninfo() + (maintenance ? " dbname=postgres" : " dbname=korvane")).c_str());
    if (PQstatus(c) != CONNECTION_OK) {
        const std::string e = PQerrorMessage(c);
        PQfinish(c);
        throw std::runtime_error("cannot connect to the test server: " + e);
    }
    PGresult *r = PQexec(c, sql.c_str());
    const ExecStatusType s = PQresultStatus(r);
    if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) {
        const std::string e = PQresultErrorMessage(r);
        PQclear(r);
        PQfinish(c);
        throw std::runtime_error(sql + ": " + e);
    }
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < PQntuples(r); ++i) {
        std::vector<std::string> row;
        for (int j = 0; j < PQnfields(r); ++j)
            row.emplace_back(PQgetvalue(r, i, j));
        rows.push_back(std::move(row));
    }
    PQclear(r);
    PQfinish(c);
    return rows;
}

std::string PgServer::Log() const {
    std::ifstream in(dir_ + "/log");
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

SilentListener::SilentListener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        listen(fd_, 64) != 0 || getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &len) != 0)
        throw std::runtime_error("cannot make the silent listener");
    port_ = ntohs(a.sin_port);
}

SilentListener::~SilentListener() {
    if (fd_ >= 0)
        close(fd_);
}

} // namespace kvtest
