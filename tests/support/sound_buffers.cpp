#include "tests/support/sound_buffers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>

#include "audio/commands.h"
#include "audio/plugin.h"

namespace kinetra::testing {
namespace {

// The plug-in has one fetch cache, for its one set of buffers; here each test has its own.
const SoundBuffers* last_run = nullptr;

SoundBuffers& Of(FilterTable* filter) { return *static_cast<SoundBuffers*>(filter->reserved_34); }

int32_t ReadFrame(FilterTable* filter, void* edit, int32_t f, int16_t* dest) {
    SoundBuffers& sound = Of(filter);
    sound.reads.push_back(f);
    if (edit != &sound || f < -5 || f > 99) return 0;
    const int32_t count = sound.delivered ? sound.delivered(f) : sound.n;
    for (int32_t k = 0; k < count; ++k) {
        for (int32_t ch = 0; ch < sound.c; ++ch) dest[size_t(k) * sound.c + ch] = SoundBuffers::Known(f, k, ch);
    }
    return count;
}

}  // namespace

SoundBuffers::SoundBuffers(int32_t sample_count, int32_t channels) : n(0), c(0) {
    filter.services = &services;
    filter.reserved_34 = this;
    services.read_frame_audio = ReadFrame;
    context.edit_handle = this;
    Resize(sample_count, channels);
}

SoundBuffers::SoundBuffers(const SoundBuffers& other) : SoundBuffers(other.n, other.c) {
    for (int b = 0; b < kBufferCount; ++b) std::copy_n(other.Sound(b), Values(), Sound(b));
    line = other.line;
    sampling_rate = other.sampling_rate;
    delivered = other.delivered;
}

SoundBuffers::~SoundBuffers() {
    ReleaseOwnBlock(table);
    if (last_run == this) last_run = nullptr;
}

void SoundBuffers::Resize(int32_t sample_count, int32_t channels) {
    n = sample_count;
    c = channels;
    host_samples_.assign(Values(), 0);
    context.audio_samples = host_samples_.data();
    context.sample_count = n;
    context.channel_count = c;
    if (!FillBufferTable(table, audio::kSoundLayout, nullptr, context)) abort();
}

std::vector<int16_t> SoundBuffers::Samples(int b) const { return {Sound(b), Sound(b) + Values()}; }

void SoundBuffers::Set(int b, const std::vector<int16_t>& samples) {
    std::copy_n(samples.begin(), std::min(samples.size(), Values()), Sound(b));
}

void SoundBuffers::Randomize(uint32_t seed) {
    std::mt19937 random(seed);
    for (int b = 0; b < kBufferCount; ++b) {
        for (size_t k = 0; k < Values(); ++k) Sound(b)[k] = static_cast<int16_t>(random());
    }
}

void SoundBuffers::Run(const std::string& name, const std::vector<double>& args, int threads) {
    if (last_run != this) audio::ReleaseCommandState();  // what is cached lies in other buffers
    last_run = this;
    strcpy(line.command, name.c_str());
    for (int k = 0; k < kScriptArguments; ++k) line.arg_value[k] = k < int(args.size()) ? args[k] : 0.0;
    CommandCall call{line, &filter, &context, table, threads, sampling_rate};
    if (!audio::RunCommand(call)) ADD_FAILURE() << "no command " << name;
}

bool SoundBuffers::SameBuffers(const SoundBuffers& other) const {
    for (int b = 0; b < kBufferCount; ++b) {
        if (memcmp(Sound(b), other.Sound(b), Values() * sizeof(int16_t)) != 0) return false;
    }
    return true;
}

}  // namespace kinetra::testing
