#include "kinetra/preview/server.h"

#include <httplib.h>

#include <charconv>
#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "kinetra/check/catalog.h"
#include "kinetra/check/check.h"
#include "kinetra/check/curves.h"
#include "kinetra/preview/encode.h"
#include "kinetra/preview/page.h"

namespace kinetra::preview {
using Json = nlohmann::json;

namespace {

// Connections served at once: the page holds its event stream and a few requests.
constexpr size_t kServerThreads = 16;
// The largest body a request may carry: a track change is a few bytes.
constexpr size_t kLargestBody = 64 * 1024;
// How long an event stream stays silent before a comment keeps it open.
constexpr auto kKeepAlive = std::chrono::seconds(15);

void Reply(httplib::Response& res, int status, const Json& body) {
    res.status = status;
    // A script's bytes need not be UTF-8: what is not shows as U+FFFD rather than failing.
    res.set_content(body.dump(-1, ' ', false, Json::error_handler_t::replace), "application/json");
}

void Refuse(httplib::Response& res, int status, const std::string& message) {
    Reply(res, status, Json{{"error", message}});
}

// A whole decimal number that fits; no sign, no spaces, nothing after it.
std::optional<int32_t> Whole(const std::string& text) {
    int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, failed] = std::from_chars(text.data(), end, value);
    if (text.empty() || failed != std::errc() || stop != end || value < 0) return std::nullopt;
    return value;
}

std::optional<int32_t> Parameter(const httplib::Request& req, const char* name) {
    return req.has_param(name) ? Whole(req.get_param_value(name)) : std::nullopt;
}

bool Flag(const httplib::Request& req, const char* name) {
    return req.has_param(name) && req.get_param_value(name) != "0";
}

const char* ContentType(std::string_view name) {
    if (name.ends_with(".html")) return "text/html; charset=utf-8";
    if (name.ends_with(".css")) return "text/css; charset=utf-8";
    if (name.ends_with(".js")) return "text/javascript; charset=utf-8";
    return "application/octet-stream";
}

Json StateJson(Session& session) {
    const media::EditFormat& format = session.format();
    const auto values = session.track_values();
    Json tracks = Json::array();
    for (const TrackInfo& t : session.tracks()) {
        tracks.push_back({{"index", t.index}, {"name", t.name}, {"min", t.minimum}, {"max", t.maximum},
                          {"default", t.default_value}, {"value", values[t.index]}});
    }
    const auto [text, version] = session.script();
    return {{"frame_count", session.frame_count()},
            {"rate", av_q2d(format.frame_rate)},
            {"rate_fraction", {format.frame_rate.num, format.frame_rate.den}},
            {"width", format.width},
            {"height", format.height},
            {"display", values[1]},
            {"has_sound", format.has_sound},
            {"script_path", session.script_path().string()},
            {"script_version", version},
            {"stateless", session.stateless()},
            {"tracks", tracks}};
}

}  // namespace

Server::Server(Session& session) : session_(session), http_(std::make_unique<httplib::Server>()) { Route(); }

Server::~Server() { Stop(); }

int Server::Bind(int port, std::string& error) {
    const int bound = port == 0 ? http_->bind_to_any_port("127.0.0.1") : (http_->bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound < 0) error = "cannot listen on 127.0.0.1:" + std::to_string(port);
    return bound;
}

void Server::Run() {
    run_started_ = true;
    if (!stop_requested_) http_->listen_after_bind();
    run_ended_ = true;
}

void Server::Stop() {
    stop_requested_ = true;
    if (!run_started_) return;  // Run, when it comes, sees the request and returns
    // A stop before the listener runs would be lost, and the listener would wait for ever.
    while (!http_->is_running() && !run_ended_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    http_->stop();
}

void Server::Route() {
    httplib::Server& http = *http_;
    http.new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
    http.set_payload_max_length(kLargestBody);
    // The library's default shares the port (SO_REUSEPORT): a second preview on it would take
    // half of the first one's connections. Reusing the address alone still restarts at once.
    http.set_socket_options([](socket_t socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    http.set_tcp_nodelay(true);  // a response's header and body leave at once, not a delayed ACK apart
    // Every failure is a JSON object with an "error", whoever found it.
    http.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request& req, httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        Refuse(res, res.status, res.status == 404 ? "nothing at " + req.path : "the request cannot be served");
        return httplib::Server::HandlerResponse::Handled;
    }));
    http.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        Refuse(res, 500, "the preview failed on this request");
    });

    // The page at "/", its files under "/page/".
    http.Get(R"(/|/page/([a-z]+\.[a-z]+))", [](const httplib::Request& req, httplib::Response& res) {
        const std::string name = req.path == "/" ? "index.html" : req.matches[1].str();
        for (size_t i = 0; i < kPageFileCount; ++i) {
            if (name == kPageFiles[i].name) {
                res.set_content(std::string(kPageFiles[i].text()), ContentType(kPageFiles[i].name));
                return;
            }
        }
        Refuse(res, 404, "nothing at " + req.path);
    });

    http.Get("/api/state", [this](const httplib::Request&, httplib::Response& res) { Reply(res, 200, StateJson(session_)); });

    http.Get("/api/script", [this](const httplib::Request&, httplib::Response& res) {
        const auto [text, version] = session_.script();
        Json statements = Json::array();
        for (const check::StatementOutline& s : check::OutlineScript(text)) {
            statements.push_back({{"line", s.line}, {"first", s.first_frame}, {"last", s.last_frame}, {"command", s.command}});
        }
        Reply(res, 200, {{"path", session_.script_path().string()}, {"version", version}, {"text", session_.Readable(text)},
                         {"statements", statements}});
    });

    http.Get(R"(/frame/([0-9]{1,9})\.(png|jpg))", [this](const httplib::Request& req, httplib::Response& res) {
        const int32_t frame = *Whole(req.matches[1]);
        const PictureFormat format = req.matches[2] == "png" ? PictureFormat::kPng : PictureFormat::kJpeg;
        std::string error, bytes;
        Picture picture;
        if (Flag(req, "source")) {
            auto source = std::make_shared<editor::Image>();
            if (!session_.Source(frame, *source, error)) return Refuse(res, 404, error);
            picture = {std::move(source), true, 0};
        } else if (!session_.Frame(frame, Flag(req, "exact"), picture, error)) {
            return Refuse(res, frame < session_.frame_count() ? 500 : 404, error);
        }
        if (!EncodePicture(*picture.image, format, bytes, error)) return Refuse(res, 500, error);
        res.set_header("X-Kinetra-Exact", picture.exact ? "1" : "0");
        res.set_header("X-Kinetra-Render-Ms", std::to_string(picture.milliseconds));
        res.set_header("Cache-Control", "no-store");
        res.set_content(std::move(bytes), format == PictureFormat::kPng ? "image/png" : "image/jpeg");
    });

    http.Post("/api/tracks", [this](const httplib::Request& req, httplib::Response& res) {
        const Json body = Json::parse(req.body, nullptr, false);
        if (!body.is_object() || body.empty()) {
            return Refuse(res, 400, "the body must be a JSON object from track index to value, as {\"8\": 4000}");
        }
        std::vector<std::pair<int64_t, int64_t>> values;
        for (const auto& [key, value] : body.items()) {
            const std::optional<int32_t> index = Whole(key);
            if (!index) return Refuse(res, 400, "\"" + key + "\" is no track index");
            if (!value.is_number_integer()) return Refuse(res, 400, "track " + key + ": the value must be a whole number");
            values.push_back({*index, value.is_number_unsigned() ? static_cast<int64_t>(std::min<uint64_t>(value.get<uint64_t>(), INT64_MAX)) : value.get<int64_t>()});
        }
        std::string error;
        if (!session_.SetTracks(values, error)) return Refuse(res, 422, error);
        Reply(res, 200, StateJson(session_));
    });

    http.Get("/api/check", [this](const httplib::Request&, httplib::Response& res) {
        const auto [text, version] = session_.script();
        std::lock_guard lock(check_mutex_);
        if (version != check_version_) {
            // Against the clip as the plug-ins are handed it, every one of its frames.
            check::CheckOptions options;
            options.clip = session_.clip_facts();
            check_report_ = check::CheckScript(text, options, check::PluginCommands());
            check_version_ = version;
        }
        const std::string file = session_.script_path().filename().string();
        // The proof follows the track values too, so it is told afresh.
        res.set_content(check::FormatJson(check_report_, file, check::StatelessNoteJson(session_.proofs(), file)),
                        "application/json");
    });

    http.Get("/api/curves", [this](const httplib::Request& req, httplib::Response& res) {
        const std::optional<int32_t> line = Parameter(req, "line"), from = Parameter(req, "from"), to = Parameter(req, "to");
        if (!line || !from || !to) return Refuse(res, 400, "give line, from and to as whole numbers");
        const media::EditFormat& format = session_.format();
        const int32_t frame_count = session_.frame_count();
        if (*to >= frame_count) {
            return Refuse(res, 404, "frame " + std::to_string(*to) + " is outside the edit's 0.." + std::to_string(frame_count - 1));
        }
        check::CurveOptions options;
        options.first_frame = *from;
        options.last_frame = *to;
        options.width = format.width;
        options.height = format.height;
        options.frame_count = frame_count;
        options.tracks = session_.track_values();
        check::ArgumentCurves curves;
        std::string error;
        if (!check::EvaluateCurves(session_.script().first, *line, options, curves, error)) return Refuse(res, 400, error);
        Json arguments = Json::array();
        for (size_t k = 0; k < curves.values.size(); ++k) {
            Json values = Json::array();
            for (const std::optional<double>& v : curves.values[k]) values.push_back(v ? Json(*v) : Json(nullptr));
            arguments.push_back({{"name", curves.names[k]}, {"formula", curves.formulas[k]}, {"values", values}});
        }
        Reply(res, 200, {{"line", *line}, {"command", curves.command}, {"from", *from}, {"to", *to}, {"arguments", arguments}});
    });

    http.Get(R"(/sound/([0-9]{1,9})\.wav)", [this](const httplib::Request& req, httplib::Response& res) {
        const int32_t first = *Whole(req.matches[1]);
        const std::optional<int32_t> last = req.has_param("to") ? Parameter(req, "to") : first;
        if (!last) return Refuse(res, 400, "to must be a whole frame number");
        std::vector<int16_t> samples;
        std::string error;
        if (!session_.Sound(first, *last, samples, error)) return Refuse(res, 404, error);
        res.set_header("Cache-Control", "no-store");
        res.set_content(EncodeWave(samples, session_.sound_channels(), session_.sampling_rate()), "audio/wav");
    });

    http.Get("/api/events", [this](const httplib::Request& req, httplib::Response& res) {
        const std::optional<int32_t> resumed = req.has_header("Last-Event-ID") ? Whole(req.get_header_value("Last-Event-ID")) : std::nullopt;
        auto after = std::make_shared<uint64_t>(resumed ? *resumed : session_.last_event());
        res.set_header("Cache-Control", "no-store");
        res.set_chunked_content_provider("text/event-stream", [this, after](size_t, httplib::DataSink& sink) {
            Event event;
            std::string text = ": still here\n\n";
            if (session_.NextEvent(*after, event, kKeepAlive)) {
                *after = event.id;
                text = "id: " + std::to_string(event.id) + "\ndata: " + event.json + "\n\n";
            } else if (session_.stopping()) {
                sink.done();
                return true;
            }
            return sink.write(text.data(), text.size());
        });
    });
}

}  // namespace kinetra::preview
