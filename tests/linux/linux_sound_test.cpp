// Capture and volume against a private PulseAudio server with a null sink.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <regex>
#include <thread>
#include <vector>

#include "../capture_checks.h"
#include "audio/volume.h"
#include "platform/linux/linux_sound.h"

extern char** environ;

namespace duskpane::sound_test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kBufferLength = 11025;
constexpr size_t kToneBand = 11;  // 1 kHz

bool OnPath(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Starts a program with its output discarded; 0 when it cannot start.
pid_t Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? 0 : pid;
}

void Reap(pid_t& pid, int signal) {
    if (pid <= 0) return;
    kill(pid, signal);
    waitpid(pid, nullptr, 0);
    pid = 0;
}

std::string Output(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
        char chunk[256];
        while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) text.append(chunk, n);
        pclose(pipe);
    }
    return text;
}

// The raw channel volumes pactl reports for the test sink.
std::vector<uint32_t> SinkVolumes() {
    const std::string text = Output("pactl get-sink-volume ci_sink");
    std::vector<uint32_t> volumes;
    static const std::regex kChannel(R"(:\s*(\d+)\s*/)");
    for (std::sregex_iterator it(text.begin(), text.end(), kChannel), end; it != end; ++it) {
        volumes.push_back(uint32_t(std::stoul((*it)[1])));
    }
    return volumes;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// The GUI thread of these tests is the test's own thread: posted work waits
// in a queue until the test pumps it.
class TestPoster : public GuiThreadPoster {
public:
    void RunOnGuiThread(std::function<void()> work) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            work_.push_back(std::move(work));
        }
        arrived_.notify_all();
    }
    void PostMessage(const Message& message) override {
        EXPECT_EQ(std::this_thread::get_id(), guiThread_) << "a message posted off the GUI thread";
        messages.push_back(message);
    }

    // Runs posted work until `done` holds or the time is up.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (!done()) {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!arrived_.wait_until(lock, deadline, [&] { return !work_.empty(); })) return done();
            auto work = std::move(work_.front());
            work_.pop_front();
            lock.unlock();
            work();
        }
        return true;
    }
    void Pump(std::chrono::milliseconds duration) { PumpUntil([] { return false; }, duration); }
    // Waits for posted work without running it.
    bool WaitForWork(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return arrived_.wait_for(lock, timeout, [&] { return !work_.empty(); });
    }

    std::vector<Message> messages;

private:
    const std::thread::id guiThread_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::function<void()>> work_;
};

// The program's buffer on one device, as the main window keeps it.
struct Capture {
    explicit Capture(TestPoster& poster) : poster(poster) {}

    TestPoster& poster;
    LinuxCaptureService service{poster};
    std::vector<uint8_t> area = std::vector<uint8_t>(kSpectrumBufferBytes);
    CaptureBuffer header;
    std::unique_ptr<CaptureDevice> device;

    bool Open() {
        device = service.Open(kCaptureFormat);
        if (!device) return false;
        header = CaptureBuffer{area.data(), kBufferLength, 0};
        return device->Fill(header);
    }
    void Requeue() { EXPECT_TRUE(device->Fill(header)); }
    // Waits for the buffer's return and checks the message and buffer.
    bool NextBuffer(std::chrono::milliseconds timeout) {
        const size_t before = poster.messages.size();
        if (!poster.PumpUntil([&] { return poster.messages.size() > before; }, timeout)) return false;
        const Message& message = poster.messages.back();
        EXPECT_EQ(message.kind, MessageKind::CaptureData);
        EXPECT_EQ(message.handle, device->Handle());
        EXPECT_EQ(message.data, &header);
        // Whole samples only: the odd byte of the 11025 stays out.
        EXPECT_EQ(header.bytesRecorded, kBufferLength - 1);
        return true;
    }
    std::array<int32_t, kBandCount> Bands() const { return BandsOf(area, header); }
};

bool Lit(const std::array<int32_t, kBandCount>& bands, size_t band) { return BarPercent(bands[band]) > 0; }

// A private server (socket in a temp folder, a null sink ci_sink whose
// monitor is the default source) and the tone played into it.
class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "duskpane-sound-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        if (const char* old = getenv("PULSE_SERVER")) oldServer_ = old;
        setenv("PULSE_SERVER", ("unix:" + (dir_ / "native").string()).c_str(), 1);
    }
    void TearDown() override {
        Reap(player_, SIGKILL);
        Reap(server_, SIGTERM);
        if (oldServer_) {
            setenv("PULSE_SERVER", oldServer_->c_str(), 1);
        } else {
            unsetenv("PULSE_SERVER");
        }
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    void StartServer() {
        if (!OnPath("pulseaudio")) GTEST_SKIP() << "no pulseaudio binary";
        ASSERT_TRUE(OnPath("pactl") && OnPath("paplay")) << "pulseaudio-utils missing";
        const fs::path script = dir_ / "ci.pa";
        std::ofstream(script) << "load-module module-native-protocol-unix socket=" << (dir_ / "native").string()
                              << " auth-anonymous=1\n"
                              << "load-module module-null-sink sink_name=ci_sink rate=44100\n"
                              << "set-default-sink ci_sink\nset-default-source ci_sink.monitor\n";
        server_ = Spawn({"pulseaudio", "-n", "-F", script.string(), "--daemonize=no", "--exit-idle-time=-1",
                         "--use-pid-file=no"});
        ASSERT_GT(server_, 0);
        ASSERT_TRUE(WaitUntil([] { return std::system("pactl info >/dev/null 2>&1") == 0; }, 5000ms));
    }
    // Starts the server; false when the test must end here (skipped or failed).
    bool ServerStarted() {
        StartServer();
        return !IsSkipped() && !HasFatalFailure();
    }
    void KillServer() { Reap(server_, SIGKILL); }

    // Six seconds of a 1 kHz sine at half scale, 44100 Hz mono 16-bit.
    void PlayTone() {
        const fs::path file = dir_ / "tone.wav";
        if (!fs::exists(file)) {
            const uint32_t samples = 6 * 44100;
            const uint32_t dataBytes = samples * 2;
            std::ofstream out(file, std::ios::binary);
            auto put32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
            auto put16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
            out << "RIFF";
            put32(36 + dataBytes);
            out << "WAVEfmt ";
            put32(16), put16(1), put16(1), put32(44100), put32(88200), put16(2), put16(16);
            out << "data";
            put32(dataBytes);
            for (uint32_t i = 0; i < samples; ++i) {
                put16(uint16_t(int16_t(std::lround(16383.0 * std::sin(2 * M_PI * 1000.0 * i / 44100)))));
            }
        }
        Reap(player_, SIGKILL);
        player_ = Spawn({"paplay", "-d", "ci_sink", file.string()});
        ASSERT_GT(player_, 0);
    }

    // Waits for a returned buffer in which the tone sounds.
    bool NextToneBuffer(Capture& capture, std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            if (!capture.NextBuffer(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())))
                return false;
            if (Lit(capture.Bands(), kToneBand)) return true;
            capture.Requeue();
        }
        return false;
    }

    fs::path dir_;
    std::optional<std::string> oldServer_;
    pid_t server_ = 0;
    pid_t player_ = 0;
    TestPoster poster_;
};

TEST_F(SoundTest, ToneArrivesInWholeBuffersEveryEighthOfASecond) {
    if (!ServerStarted()) return;
    Capture capture(poster_);
    ASSERT_TRUE(capture.Open());

    // The idle sink's monitor records silence, which lights no band.
    ASSERT_TRUE(capture.NextBuffer(3000ms));
    const auto silence = capture.Bands();
    for (size_t b = 0; b < kBandCount; ++b) EXPECT_FALSE(Lit(silence, b)) << "band " << b;
    capture.Requeue();

    PlayTone();
    ASSERT_TRUE(NextToneBuffer(capture, 3000ms));
    capture.Requeue();
    ASSERT_TRUE(capture.NextBuffer(1000ms));  // past the tone's onset
    capture.Requeue();
    // Each buffer holds the tone alone: the 1 kHz band lit, the far ones dark
    // (a buffer cut off the sample grid would light them all).
    constexpr int kBuffers = 12;
    const auto first = Clock::now();
    for (int i = 0; i < kBuffers; ++i) {
        ASSERT_TRUE(capture.NextBuffer(1000ms)) << "buffer " << i;
        const auto bands = capture.Bands();
        EXPECT_TRUE(Lit(bands, kToneBand)) << "buffer " << i;
        for (size_t b : {0, 1, 2, 3, 4, 5, 17, 18, 19}) EXPECT_FALSE(Lit(bands, b)) << "buffer " << i << " band " << b;
        capture.Requeue();
    }
    const double meanMs = std::chrono::duration<double, std::milli>(Clock::now() - first).count() / kBuffers;
    EXPECT_GT(meanMs, 90.0);
    EXPECT_LT(meanMs, 170.0);
}

TEST_F(SoundTest, NothingIsDeliveredWhileNoBufferIsQueued) {
    if (!ServerStarted()) return;
    Capture capture(poster_);
    ASSERT_TRUE(capture.Open());
    PlayTone();
    ASSERT_TRUE(NextToneBuffer(capture, 4000ms));

    // Not queued again: the device keeps its hands off the buffer.
    const std::vector<uint8_t> returned = capture.area;
    const size_t count = poster_.messages.size();
    poster_.Pump(800ms);
    EXPECT_EQ(poster_.messages.size(), count);
    EXPECT_EQ(capture.area, returned);
    // One buffer at a time.
    capture.Requeue();
    EXPECT_FALSE(capture.device->Fill(capture.header));
    CaptureBuffer stranger{capture.area.data(), kBufferLength, 0};
    EXPECT_FALSE(capture.device->Fill(stranger));
    // Queued again, the buffer comes back with recent sound.
    ASSERT_TRUE(capture.NextBuffer(1000ms));
    EXPECT_TRUE(Lit(capture.Bands(), kToneBand));
}

TEST_F(SoundTest, DestroyedDeviceNeverTouchesTheBufferAgain) {
    if (!ServerStarted()) return;
    Capture capture(poster_);
    ASSERT_TRUE(capture.Open());
    PlayTone();
    // A full buffer's handover is on its way to the GUI thread; the device
    // goes before it gets there.
    std::fill(capture.area.begin(), capture.area.end(), uint8_t(0xAB));
    ASSERT_TRUE(poster_.WaitForWork(3000ms));
    capture.device.reset();
    poster_.Pump(600ms);
    EXPECT_TRUE(poster_.messages.empty());
    EXPECT_TRUE(std::all_of(capture.area.begin(), capture.area.end(), [](uint8_t b) { return b == 0xAB; }));
}

TEST_F(SoundTest, SurvivesTheServerGoingAndOpensOnTheNewOne) {
    if (!ServerStarted()) return;
    Capture capture(poster_);
    ASSERT_TRUE(capture.Open());
    LinuxAudioSystem audio;
    auto endpoint = audio.CreateEndpoint();
    endpoint->Init();
    float level = 0;
    EXPECT_TRUE(endpoint->GetLevel(level));
    ASSERT_TRUE(capture.NextBuffer(3000ms));
    capture.Requeue();

    KillServer();
    poster_.Pump(300ms);  // a handover already under way may still land
    const size_t count = poster_.messages.size();
    poster_.Pump(1000ms);
    EXPECT_EQ(poster_.messages.size(), count);
    EXPECT_FALSE(endpoint->GetLevel(level));
    // What the watchdog does: a new device, while the server is still away...
    ASSERT_TRUE(capture.Open());
    poster_.Pump(500ms);
    EXPECT_EQ(poster_.messages.size(), count);

    // ...and again once it is back.
    ASSERT_TRUE(ServerStarted());
    ASSERT_TRUE(capture.Open());
    PlayTone();
    EXPECT_TRUE(NextToneBuffer(capture, 4000ms));
    // The endpoint finds the new server by itself.
    EXPECT_TRUE(WaitUntil([&] { return endpoint->GetLevel(level); }, 4000ms));
    EXPECT_FLOAT_EQ(level, 1.0f);
}

// Runs without any server at all, so it needs no binary either.
TEST_F(SoundTest, WithoutServerNothingHangsAndNothingIsDelivered) {
    Capture capture(poster_);
    const auto start = Clock::now();
    ASSERT_TRUE(capture.Open());
    EXPECT_LT(Clock::now() - start, 1000ms);
    poster_.Pump(500ms);
    EXPECT_TRUE(poster_.messages.empty());

    LinuxAudioSystem audio;
    auto endpoint = audio.CreateEndpoint();
    const auto initStart = Clock::now();
    endpoint->Init();
    EXPECT_LT(Clock::now() - initStart, 1500ms);
    float level = 0.25f;
    bool muted = true;
    EXPECT_FALSE(endpoint->GetLevel(level));
    EXPECT_FALSE(endpoint->SetLevel(0.5f));
    EXPECT_FALSE(endpoint->GetMute(muted));
    EXPECT_FALSE(endpoint->SetMute(true));
    EXPECT_EQ(level, 0.25f);
    EXPECT_TRUE(muted);

    // Formats the device cannot record are refused before any connection.
    WaveFormat stereo24{1, 2, 44100, 264600, 6, 24};
    WaveFormat floats{3, 1, 44100, 176400, 4, 32};
    WaveFormat inconsistent{1, 1, 44100, 88200, 4, 16};
    EXPECT_EQ(capture.service.Open(stereo24), nullptr);
    EXPECT_EQ(capture.service.Open(floats), nullptr);
    EXPECT_EQ(capture.service.Open(inconsistent), nullptr);
    CaptureBuffer empty;
    EXPECT_FALSE(capture.device->Fill(empty));
}

TEST_F(SoundTest, EndpointFollowsAndSetsTheDefaultSink) {
    if (!ServerStarted()) return;
    LinuxAudioSystem audio;
    ASSERT_TRUE(audio.HasEndpointVolume());

    // Through the program's own volume operations: raw 0..65535.
    VolumeControl volume(audio);
    ASSERT_EQ(volume.FindVolumeControl(), 1);
    uint32_t raw = 0;
    ASSERT_EQ(volume.GetVolumeRaw(raw), 1);
    EXPECT_EQ(raw, 65535u);
    ASSERT_EQ(volume.SetVolumeRaw(32767), 1);
    EXPECT_EQ(SinkVolumes(), (std::vector<uint32_t>{32768, 32768}));
    ASSERT_EQ(volume.GetVolumeRaw(raw), 1);
    EXPECT_EQ(raw, 32767u);
    ASSERT_EQ(volume.SetVolumeRaw(65535), 1);
    EXPECT_EQ(SinkVolumes(), (std::vector<uint32_t>{65536, 65536}));

    auto endpoint = audio.CreateEndpoint();
    endpoint->Init();
    float level = 0;
    // Changes made elsewhere show up without asking; above 100 % reads 1.0.
    ASSERT_EQ(std::system("pactl set-sink-volume ci_sink 50%"), 0);
    EXPECT_TRUE(WaitUntil([&] { return endpoint->GetLevel(level) && level == 0.5f; }, 1000ms));
    ASSERT_EQ(std::system("pactl set-sink-volume ci_sink 150%"), 0);
    EXPECT_TRUE(WaitUntil([&] { return endpoint->GetLevel(level) && level == 1.0f; }, 1000ms));

    // The loudest channel is the level; a new level keeps the balance.
    ASSERT_EQ(std::system("pactl set-sink-volume ci_sink 80% 40%"), 0);
    EXPECT_TRUE(WaitUntil([&] { return endpoint->GetLevel(level) && std::fabs(level - 0.8f) < 0.001f; }, 1000ms));
    ASSERT_TRUE(endpoint->SetLevel(0.5f));
    EXPECT_TRUE(endpoint->GetLevel(level));
    EXPECT_EQ(level, 0.5f);
    EXPECT_EQ(SinkVolumes(), (std::vector<uint32_t>{32768, 16384}));

    bool muted = true;
    ASSERT_TRUE(endpoint->GetMute(muted));
    EXPECT_FALSE(muted);
    ASSERT_TRUE(endpoint->SetMute(true));
    ASSERT_TRUE(endpoint->GetMute(muted));
    EXPECT_TRUE(muted);
    EXPECT_NE(Output("pactl get-sink-mute ci_sink").find("yes"), std::string::npos);
    ASSERT_TRUE(endpoint->SetMute(false));
    ASSERT_TRUE(endpoint->GetMute(muted));
    EXPECT_FALSE(muted);
    EXPECT_NE(Output("pactl get-sink-mute ci_sink").find("no"), std::string::npos);
}

}  // namespace
}  // namespace duskpane::sound_test
