#include "thread_generator.h"

#include <pthread.h>
#include <sys/random.h>

#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <fstream>

#include "../base.h"
#include "xoshiro_step.h"

namespace korvane::engine {
namespace {

using State = std::array<std::uint32_t, 4>;

// Fills `state` from the kernel's random-bytes call; false when the call is unavailable.
bool seed_from_kernel(State& state) {
  auto* bytes = reinterpret_cast<unsigned char*>(state.data());
  std::size_t filled = 0;
  while (filled < sizeof(State)) {
    const ssize_t got = getrandom(bytes + filled, sizeof(State) - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    filled += static_cast<std::size_t>(got);
  }
  return true;
}

bool seed_from_device(State& state) {
  std::ifstream device("/dev/urandom", std::ios::binary);
  device.read(reinterpret_cast<char*>(state.data()), sizeof(State));
  return device.gcount() == static_cast<std::streamsize>(sizeof(State));
}

bool is_all_zero(const State& state) { return (state[0] | state[1] | state[2] | state[3]) == 0; }

// The all-zero state is the one state xoshiro never leaves, so a seed must avoid it.
State operating_system_seed() {
  constexpr int attempts = 4;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    State state{};
    if (!seed_from_kernel(state) && !seed_from_device(state)) break;
    if (!is_all_zero(state)) return state;
  }
  throw Fault("failed to seed the random number generator from the operating system");
}

// Counts the forks this process has come out of as a child. A child starts with a copy of its
// parent's generator state, so every generator compares this count with the one it was seeded
// under and reseeds when they differ: parent and child never draw the same stream.
std::atomic<unsigned> fork_generation{0};

void count_fork_in_child() { fork_generation.fetch_add(1, std::memory_order_relaxed); }

void watch_for_forks() {
  static const bool registered = pthread_atfork(nullptr, nullptr, &count_fork_in_child) == 0;
  if (!registered) throw Fault("failed to register the random number generator's fork handler");
}

// xoshiro128++ (Blackman and Vigna): 128 bits of state, one 32-bit output per step, with these
// rotations and shift.
constexpr int output_rotation = 7;
constexpr int state_shift = 9;
constexpr int state_rotation = 11;

class ThreadGenerator final : public RandomSource {
 public:
  ThreadGenerator() : generation_(current_generation()), state_(operating_system_seed()) {}

  // Draws a fresh seed when this process was forked since the last seed.
  void reseed_after_fork() {
    const unsigned generation = current_generation();
    if (generation == generation_) return;
    state_ = operating_system_seed();
    generation_ = generation;
  }

  std::uint32_t next_u32() override {
    const std::uint32_t result = std::rotl(state_[0] + state_[3], output_rotation) + state_[0];
    advance_xoshiro<state_shift, state_rotation>(state_);
    return result;
  }

 private:
  static unsigned current_generation() {
    watch_for_forks();
    return fork_generation.load(std::memory_order_relaxed);
  }

  unsigned generation_;
  State state_;
};

}  // namespace

RandomSource& thread_generator() {
  // Constructed on the first use in each thread; a failed seed throws and is retried next time.
  thread_local ThreadGenerator generator;
  generator.reseed_after_fork();
  return generator;
}

}  // namespace korvane::engine
