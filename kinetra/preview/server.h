// The preview's HTTP server: the page and the routes of docs/PREVIEW.md, on 127.0.0.1 only.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "kinetra/preview/session.h"

namespace httplib {
class Server;
}

namespace kinetra::preview {

class Server {
public:
    explicit Server(Session& session);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds 127.0.0.1:`port`, or a free port when `port` is 0; the port, or -1 with `error` set.
    int Bind(int port, std::string& error);
    // Serves until Stop, which may come from another thread at any time, before Run too.
    void Run();
    void Stop();

private:
    void Route();

    Session& session_;
    std::unique_ptr<httplib::Server> http_;
    // The listener ignores a stop that comes before it runs: Stop and Run meet through these.
    std::atomic<bool> stop_requested_{false}, run_started_{false}, run_ended_{false};
    std::mutex check_mutex_;
    int64_t check_version_ = -1;  // the script version `check_report_` was made for
    check::Report check_report_;
};

}  // namespace kinetra::preview
