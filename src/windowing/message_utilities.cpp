// The random source of random_string and the host's two message channels.
#include <mutex>
#include <random>
#include <string>

#include "pal/input.h"

namespace Halvex::Tessaran::PAL {
namespace {

// Seeded when the library loads, so that every process draws its own
// sequence.
struct RandomSource {
  std::mutex mutex;
  std::mt19937_64 engine{std::random_device{}()};
};
RandomSource randomSource;

MessageQueue::IChannel* proxyChannel = nullptr;
MessageQueue::IChannel* stubChannel = nullptr;

}  // namespace

std::string MessageUtilities::random_string() {
  std::uniform_int_distribution<unsigned long long> full;
  std::lock_guard lock(randomSource.mutex);
  return std::to_string(full(randomSource.engine));
}

bool Input::setCurrentEvent(const AsyncApi::Input::Event*) {
  return false;
}

void MessageQueue::setProxySideChannel(IChannel* channel) {
  proxyChannel = channel;
}
MessageQueue::IChannel* MessageQueue::proxySideChannel() {
  return proxyChannel;
}
void MessageQueue::setStubSideChannel(IChannel* channel) {
  stubChannel = channel;
}
MessageQueue::IChannel* MessageQueue::stubSideChannel() {
  return stubChannel;
}

}  // namespace Halvex::Tessaran::PAL
