// kinetra preview's routes, served from a session over the built-in clip: refusals, results
// against a lossless render, a script that breaks and is rewritten, and where it listens.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "kinetra/media/ffmpeg.h"
#include "kinetra/preview/server.h"

namespace kinetra::preview {
namespace {
namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr char kTrail[] = "[0-11]\ncopyframe(2,f-1,0,0,i,j,0,0)\nalpha(2,0,0,0,i,j,0,0,0.33)\n";
constexpr char kStateless[] = "[0-11]\nrotate(0,0,2*p*f/12,0,0,i/2,j/2,i/4,j/4)\n";

struct Rgb {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
    bool operator==(const Rgb&) const = default;
};

// A PNG file's pixels, through FFmpeg's decoder.
Rgb DecodePng(const std::string& bytes) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_PNG);
    media::CodecPtr context(avcodec_alloc_context3(codec));
    media::PacketPtr packet(av_packet_alloc());
    media::FramePtr frame(av_frame_alloc());
    Rgb rgb;
    if (avcodec_open2(context.get(), codec, nullptr) < 0 || av_new_packet(packet.get(), static_cast<int>(bytes.size())) < 0) {
        return rgb;
    }
    std::copy(bytes.begin(), bytes.end(), packet->data);
    if (avcodec_send_packet(context.get(), packet.get()) < 0 || avcodec_receive_frame(context.get(), frame.get()) < 0 ||
        frame->format != AV_PIX_FMT_RGB24) {
        return rgb;
    }
    rgb.width = frame->width;
    rgb.height = frame->height;
    for (int y = 0; y < frame->height; ++y) {
        const uint8_t* row = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
        rgb.pixels.insert(rgb.pixels.end(), row, row + 3 * frame->width);
    }
    return rgb;
}

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class PreviewTest : public ::testing::Test {
protected:
    void Open(const std::string& script, int32_t frames = 12) {
        clip_.width = 96;
        clip_.height = 54;
        clip_.frames = frames;
        clip_.frame_rate = 30;
        ASSERT_TRUE(folder_.Write(script));
        SessionSetup setup;
        setup.plugins.edited_path = folder_.EditedPath("synthetic-clip");
        source_ = media::MakeSyntheticSource(clip_, setup.plugins.edited_path);
        setup.source = source_.get();
        setup.picture_plugin = fs::path(KINETRA_PLUGIN_DIR) / "dizorud.auf";
        setup.sound_plugin = fs::path(KINETRA_PLUGIN_DIR) / "dizorud_audio.auf";
        setup.script = script_file();
        setup.work_folder = folder_.path();
        setup.poll = std::chrono::milliseconds(20);
        setup.exact_budget = 2 * sizeof(PixelYC) * clip_.width * clip_.height;  // so that jumps back replay
        std::string error;
        ASSERT_TRUE(session_.Start(setup, error)) << error;
        server_ = std::make_unique<Server>(session_);
        port_ = server_->Bind(0, error);
        ASSERT_GT(port_, 0) << error;
        serving_ = std::thread([this] { server_->Run(); });
        client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
        client_->set_read_timeout(30, 0);
    }
    void TearDown() override {
        session_.Stop();
        if (server_) server_->Stop();
        if (serving_.joinable()) serving_.join();
    }
    fs::path script_file() const { return folder_.path() / "animation.txt"; }
    std::string Png(int frame, const std::string& query = "") {
        const httplib::Result result = client_->Get("/frame/" + std::to_string(frame) + ".png" + query);
        EXPECT_TRUE(result && result->status == 200) << "frame " << frame;
        return result ? result->body : "";
    }
    Json State() { return Json::parse(client_->Get("/api/state")->body); }
    // The script over the built-in clip as `kinetra render` gives it, one PNG a frame.
    fs::path RenderFrames() {
        const fs::path frames = folder_.path() / "render";
        fs::create_directories(frames);
        const std::string render = std::string("'") + KINETRA_PROGRAM + "' render -q --size 96x54 --frames 12 --rate 30 --script '" +
                                   script_file().string() + "' -o '" + (frames / "f%d.png").string() + "' 2>/dev/null";
        EXPECT_EQ(std::system(render.c_str()), 0) << render;
        return frames;
    }
    // Waits until the session has read the script again.
    void AwaitVersion(int64_t version) {
        for (int tries = 0; tries < 200 && State()["script_version"] < version; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_GE(State()["script_version"], version);
    }

    editor::SyntheticClip clip_;
    editor::ScriptFolder folder_;
    std::unique_ptr<media::EditSource> source_;
    Session session_;
    std::unique_ptr<Server> server_;
    std::thread serving_;
    int port_ = 0;
    std::unique_ptr<httplib::Client> client_;
};

TEST_F(PreviewTest, RefusesWhatItCannotServeWithAJsonError) {
    Open(kTrail);
    struct Case {
        const char* method;
        const char* path;
        const char* body;
    };
    const Case cases[] = {
        {"GET", "/nothing", ""},
        {"GET", "/page/../../../etc/passwd", ""},
        {"GET", "/frame/12.png", ""},  // one past the last frame
        {"GET", "/frame/999999999.jpg", ""},
        {"GET", "/frame/-1.png", ""},
        {"GET", "/frame/2.gif", ""},
        {"GET", "/frame/12.png?source=1", ""},
        {"GET", "/sound/12.wav", ""},
        {"GET", "/api/curves?line=2&from=0", ""},
        {"GET", "/api/curves?line=2&from=0&to=12", ""},
        {"GET", "/api/curves?line=1&from=0&to=3", ""},  // a range line: no statement
        {"POST", "/api/tracks", "{\"8\": 4000"},
        {"POST", "/api/tracks", "[8, 4000]"},
        {"POST", "/api/tracks", "{}"},
        {"POST", "/api/tracks", "{\"8\": 4097}"},
        {"POST", "/api/tracks", "{\"8\": -1}"},
        {"POST", "/api/tracks", "{\"1\": 10}"},
        {"POST", "/api/tracks", "{\"11\": 0}"},
        {"POST", "/api/tracks", "{\"x\": 0}"},
        {"POST", "/api/tracks", "{\"8\": 1.5}"},
        {"POST", "/api/tracks", "{\"8\": \"4000\"}"},
        {"POST", "/api/tracks", "{\"8\": 18446744073709551615}"},
        {"POST", "/api/tracks", "{\"2\": 100, \"9\": 5000}"},  // one bad value: nothing is set
    };
    for (const Case& c : cases) {
        const httplib::Result result = std::string(c.method) == "GET" ? client_->Get(c.path)
                                                                      : client_->Post(c.path, c.body, "application/json");
        ASSERT_TRUE(result) << c.path;
        EXPECT_GE(result->status, 400) << c.method << " " << c.path << " " << c.body;
        EXPECT_LT(result->status, 500) << c.method << " " << c.path << " " << c.body;
        const Json body = Json::parse(result->body, nullptr, false);
        EXPECT_TRUE(body.is_object() && body["error"].is_string()) << c.path << ": " << result->body;
    }
    const Json state = State();
    for (const Json& track : state["tracks"]) EXPECT_EQ(track["value"], track["default"]) << track["name"];
}

TEST_F(PreviewTest, SoundIsServedAMinuteAtATimeAtMost) {
    Open("", 30 * 61);
    const httplib::Result minute = client_->Get("/sound/0.wav?to=1799");
    ASSERT_TRUE(minute);
    EXPECT_EQ(minute->status, 200);
    const httplib::Result longer = client_->Get("/sound/0.wav?to=1800");
    ASSERT_TRUE(longer);
    EXPECT_EQ(longer->status, 404);
    EXPECT_TRUE(Json::parse(longer->body, nullptr, false)["error"].is_string());
}

TEST_F(PreviewTest, TrackChangesReachTheFrameAndTheState) {
    Open("[0-11]\nfill(0,0,0,x/100,j,4096,0,0)\n");
    const std::string before = Png(3);
    const httplib::Result set = client_->Post("/api/tracks", "{\"8\": 4000}", "application/json");
    ASSERT_TRUE(set && set->status == 200);
    EXPECT_EQ(State()["tracks"][8]["value"], 4000);
    EXPECT_NE(DecodePng(Png(3)), DecodePng(before));
}

// A script proven to keep nothing shows its far frame exact at once, and says so in the state
// and the check; moving a track can take the proof away.
TEST_F(PreviewTest, AProvenStatelessScriptIsExactAtOnce) {
    Open("[0-299]\nrotate(0,0,2*p*f/12,0,0,i/2,j/2,i/4,j/4)\ncopy(0,2,0,0,x,j,0,0)\n", 300);
    EXPECT_EQ(State()["stateless"], true);
    const httplib::Result far = client_->Get("/frame/299.png");
    ASSERT_TRUE(far && far->status == 200);
    EXPECT_EQ(far->get_header_value("X-Kinetra-Exact"), "1");
    const Json check = Json::parse(client_->Get("/api/check")->body);
    ASSERT_FALSE(check.empty());
    EXPECT_EQ(check.back()["stateless"], true) << check;

    // Buffer 2 shown: written whole only while track x covers the picture's width.
    ASSERT_EQ(client_->Post("/api/tracks", "{\"1\": 2, \"8\": 50}", "application/json")->status, 200);
    EXPECT_EQ(State()["stateless"], false);
    ASSERT_EQ(client_->Post("/api/tracks", "{\"8\": 4096}", "application/json")->status, 200);
    EXPECT_EQ(State()["stateless"], true);
}

// The sound of ranges asked in any order equals a render's; a range after the last one played
// goes on from it, and one played before is served again without running the plug-in.
TEST_F(PreviewTest, SoundGoesOnFromWhereItStoodAndEqualsTheRender) {
    Open("[0-11]\na_noise(0,0.3)\na_tone(0,440,0,0.2)\n");
    const fs::path wav = folder_.path() / "out.wav";
    const std::string render = std::string("'") + KINETRA_PROGRAM + "' render -q --size 96x54 --frames 12 --rate 30 --script '" +
                               script_file().string() + "' -o '" + wav.string() + "'";
    ASSERT_EQ(std::system(render.c_str()), 0) << render;
    const std::string bytes = ReadFile(wav);
    const size_t data = bytes.find("data");
    ASSERT_NE(data, std::string::npos);
    std::vector<int16_t> rendered((bytes.size() - data - 8) / 2);
    memcpy(rendered.data(), bytes.data() + data + 8, rendered.size() * 2);
    const size_t per_frame = rendered.size() / 12;

    editor::PluginSettings settings;
    settings.edited_path = folder_.EditedPath("synthetic-clip");
    SoundPlayer player(*source_, fs::path(KINETRA_PLUGIN_DIR) / "dizorud_audio.auf", settings, size_t{1} << 20);
    std::string error;
    ASSERT_TRUE(player.Load(error)) << error;
    struct Case {
        int32_t first, last;
        int64_t run;  // frames the plug-in has run once the range is played
    };
    for (const Case& c : {Case{4, 7, 8}, Case{8, 11, 12}, Case{0, 3, 12}, Case{2, 9, 12}}) {
        std::vector<int16_t> samples;
        ASSERT_TRUE(player.Play(c.first, c.last, false, samples, error)) << error;
        const std::vector<int16_t> expected(rendered.begin() + c.first * per_frame, rendered.begin() + (c.last + 1) * per_frame);
        EXPECT_EQ(samples, expected) << c.first << ".." << c.last;
        EXPECT_EQ(player.frames_run(), c.run) << c.first << ".." << c.last;
    }
}

// A range past the clip's end lengthens the edit for the preview as for a render.
TEST_F(PreviewTest, FramesAddedByALengtheningRangeArePreviewed) {
    Open("[0-19]\nfill(0,0,0,4*f,j,4096,0,0)\n");
    EXPECT_EQ(State()["frame_count"], 20);
    const fs::path frames = RenderFrames();
    for (const int frame : {19, 12}) {
        const Rgb expected = DecodePng(ReadFile(frames / ("f" + std::to_string(frame) + ".png")));
        ASSERT_GT(expected.width, 0);
        EXPECT_EQ(DecodePng(Png(frame, "?exact=1")), expected) << "frame " << frame;
    }
    EXPECT_EQ(client_->Get("/frame/20.png")->status, 404);
}

// The preview's frames equal a lossless render's, reached by jumps back and forth.
class ExactTest : public PreviewTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ExactTest, FramesEqualTheRenderAfterJumps) {
    Open(GetParam());
    const fs::path frames = RenderFrames();
    for (const int frame : {7, 2, 11, 0, 5}) {
        Png(frame);  // shown at once, on whatever state the shown instance holds
        const httplib::Result result = client_->Get("/frame/" + std::to_string(frame) + ".png?exact=1");
        ASSERT_TRUE(result && result->status == 200);
        EXPECT_EQ(result->get_header_value("X-Kinetra-Exact"), "1");
        const Rgb expected = DecodePng(ReadFile(frames / ("f" + std::to_string(frame) + ".png")));
        ASSERT_GT(expected.width, 0);
        EXPECT_EQ(DecodePng(result->body), expected) << "frame " << frame;
    }
}

INSTANTIATE_TEST_SUITE_P(Scripts, ExactTest, ::testing::Values(kTrail, kStateless),
                         [](const auto& info) { return info.index == 0 ? "Trail" : "Stateless"; });

TEST_F(PreviewTest, KeepsServingWhileTheScriptIsBrokenOrRewritten) {
    Open(kTrail);
    const int64_t version = State()["script_version"];
    {
        std::ofstream broken(script_file(), std::ios::binary | std::ios::trunc);
        broken << "[0-11]\ncopyframe(2,f-1,0,0,i,j,0,0\n";
    }
    AwaitVersion(version + 1);
    const Json diagnostics = Json::parse(client_->Get("/api/check")->body);
    ASSERT_FALSE(diagnostics.empty());
    EXPECT_EQ(diagnostics[0]["line"], 2);
    EXPECT_EQ(Png(4, "?exact=1").empty(), false);
    // Removed, then half written: every request is still answered.
    fs::remove(script_file());
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(Png(i).empty());
    {
        std::ofstream half(script_file(), std::ios::binary | std::ios::trunc);
        half << "[0-11]\nalpha(2,0,0";
    }
    AwaitVersion(version + 2);
    EXPECT_FALSE(Png(6, "?exact=1").empty());
    EXPECT_EQ(client_->Get("/api/state")->status, 200);
}

TEST_F(PreviewTest, TheEventStreamTellsOfEachReload) {
    Open(kTrail);
    std::string stream;
    std::thread listener([&] {
        httplib::Client events("127.0.0.1", port_);
        events.set_read_timeout(10, 0);
        // From the first event on, so that none is missed however late the stream opens.
        events.Get("/api/events", {{"Last-Event-ID", "0"}}, [&](const char* data, size_t size) {
            stream.append(data, size);
            return stream.find("\"version\":2") == std::string::npos;
        });
    });
    std::ofstream(script_file(), std::ios::binary | std::ios::trunc) << "[0-11]\nalpha(2,0,0,0,i,j,0,0,0.5)\n";
    listener.join();
    EXPECT_NE(stream.find("data: {\"frame_count\":12,\"stateless\":false,\"type\":\"script\",\"version\":2}"),
              std::string::npos)
        << stream;
}

// The listening socket is on the loopback address alone (IPv4 127.0.0.1, no IPv6 socket),
// and its own.
TEST_F(PreviewTest, ListensOnLoopbackOnly) {
    Open("");
    char port[8];
    snprintf(port, sizeof port, ":%04X", port_);
    int listening = 0;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::istringstream lines(ReadFile(table));
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            if (state != "0A" || !local.ends_with(port)) continue;  // 0A: listening
            ++listening;
            EXPECT_EQ(local, std::string("0100007F") + port) << table;
        }
    }
    EXPECT_EQ(listening, 1);
    // Nor does a second server share the port.
    Server second(session_);
    std::string error;
    EXPECT_EQ(second.Bind(port_, error), -1);
    EXPECT_FALSE(error.empty());
}

TEST_F(PreviewTest, StopsWhenAskedBeforeItsListenerRuns) {
    Open("");
    // A stop that reaches the server before its thread listens must still end the thread: the
    // join below would wait for ever otherwise.
    for (int i = 0; i < 50; ++i) {
        Server server(session_);
        std::string error;
        ASSERT_GT(server.Bind(0, error), 0) << error;
        std::thread serving([&server] { server.Run(); });
        if (i % 2) std::this_thread::yield();
        server.Stop();
        serving.join();
    }
}

TEST_F(PreviewTest, CurvesGiveEachArgumentAtEachFrame) {
    Open("[2-5]\nfill(0,f*2,0,1,1,4096,0,0)\n[0-11]\nA=A+f\n");
    const Json fill = Json::parse(client_->Get("/api/curves?line=2&from=0&to=7")->body);
    ASSERT_EQ(fill["command"], "fill");
    EXPECT_EQ(fill["arguments"][1]["name"], "left column");
    const Json& x = fill["arguments"][1]["values"];
    for (int f = 0; f <= 7; ++f) {
        if (f < 2 || f > 5) {
            EXPECT_TRUE(x[f].is_null()) << f;  // the line does not run there
        } else {
            EXPECT_EQ(x[f], 2.0 * f) << f;
        }
    }
    // An assignment carries its variable from frame to frame, the frames before the span too.
    const Json sum = Json::parse(client_->Get("/api/curves?line=4&from=3&to=6")->body);
    for (int f = 3; f <= 6; ++f) EXPECT_EQ(sum["arguments"][0]["values"][f - 3], f * (f + 1) / 2.0) << f;
}

}  // namespace
}  // namespace kinetra::preview
